/* SPDX-License-Identifier: MIT */
// Registry access through the OS seam, in the classic toolkit's manner.
#pragma once

#include <string>

#include "forms/sysutils.h"
#include "forms/wintypes.h"

namespace forms {

class ERegistryException : public Exception {
public:
    using Exception::Exception;
};

class TRegistry {
public:
    // Access asked for by OpenKey; the default is full (read and write) access.
    explicit TRegistry(REGSAM access = KEY_ALL_ACCESS) : access_(access) {}
    ~TRegistry() { CloseKey(); }
    TRegistry(const TRegistry&) = delete;
    TRegistry& operator=(const TRegistry&) = delete;

    HKEY RootKey() const { return rootKey_; }
    void SetRootKey(HKEY root);
    HKEY CurrentKey() const { return currentKey_; }

    // Opens `key` under the root key (creating it only when `canCreate`);
    // false when that fails.
    bool OpenKey(const std::string& key, bool canCreate = false);
    void CloseKey();

    bool ValueExists(const std::string& name) const;
    // The DWORD value `name`; raises ERegistryException
    // "Invalid data type for '<name>'" when it is missing or of another type.
    int ReadInteger(const std::string& name) const;

private:
    HKEY rootKey_ = HKEY_CURRENT_USER;
    HKEY currentKey_ = nullptr;
    REGSAM access_;
};

}  // namespace forms
