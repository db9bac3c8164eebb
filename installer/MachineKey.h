// Opens an existing key of the local machine; the installer's steps never create the keys they
// read or edit there.
#pragma once

#include "common/UniqueResource.h"

inline UniqueRegKey OpenMachineKey(const wchar_t* path, REGSAM access) {
    HKEY raw = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, access, &raw) != ERROR_SUCCESS)
        return UniqueRegKey();
    return UniqueRegKey(raw);
}
