/* SPDX-License-Identifier: MIT */
// The texts of the library's message boxes, stored as Windows-1252 bytes
// whatever the encoding of this file.
#pragma once

namespace tcr7750::messages {

inline constexpr const char kOpenCaption[] = "Erreur";
inline constexpr const char kNoDriver[] = "Ne peut ouvrir WinDriver!";
inline constexpr const char kDriverVersion[] = "Version WinDriver non compatible!";
inline constexpr const char kNoBoard[] = "Carte non trouv\xE9" "e";
inline constexpr const char kNoResources[] = "Param\xE8" "tres PCI incorrects";
inline constexpr const char kRegistrationRefused[] = "Acc\xE8" "s aux ressources de la carte.";

inline constexpr const char kArmingCaption[] = "Error";
inline constexpr const char kArmingRefused[] = " Failing enabling interrupt";

} // namespace tcr7750::messages
