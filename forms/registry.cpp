// SPDX-License-Identifier: MIT
#include "forms/registry.h"

#include "forms/os.h"

namespace forms {

void TRegistry::SetRootKey(HKEY root)
{
    CloseKey();
    rootKey_ = root;
}

bool TRegistry::OpenKey(const std::string& key, bool canCreate)
{
    HKEY opened = nullptr;
    const LONG result = canCreate ? Os().RegCreateKeyExA(rootKey_, key.c_str(), access_, &opened)
                                  : Os().RegOpenKeyExA(rootKey_, key.c_str(), 0, access_, &opened);
    if (result != ERROR_SUCCESS)
        return false;
    CloseKey();
    currentKey_ = opened;
    return true;
}

void TRegistry::CloseKey()
{
    if (currentKey_)
        Os().RegCloseKey(currentKey_);
    currentKey_ = nullptr;
}

bool TRegistry::ValueExists(const std::string& name) const
{
    if (!currentKey_)
        return false;
    DWORD type = 0;
    DWORD size = 0;
    return Os().RegQueryValueExA(currentKey_, name.c_str(), &type, nullptr, &size) == ERROR_SUCCESS;
}

int TRegistry::ReadInteger(const std::string& name) const
{
    DWORD type = REG_NONE;
    DWORD value = 0;
    DWORD size = sizeof value;
    const LONG result = currentKey_ ? Os().RegQueryValueExA(currentKey_, name.c_str(), &type,
                                                          reinterpret_cast<BYTE*>(&value), &size)
                                    : ERROR_FILE_NOT_FOUND;
    if (result != ERROR_SUCCESS || type != REG_DWORD || size != sizeof value)
        throw ERegistryException("Invalid data type for '" + name + "'");
    return static_cast<int>(value);
}

}  // namespace forms
