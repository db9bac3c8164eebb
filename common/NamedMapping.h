// Open-or-create of a page-file-backed named mapping, mapped whole with full access.
#pragma once

#include "UniqueResource.h"

struct NamedMapping {
    UniqueHandle mapping;
    UniqueView view;
    bool created = false;

    bool mapped() const { return view.valid(); }
};

// Opens the mapping by name for writing; when there is none, creates it with `size` bytes, open
// to the same user at any elevation and to nobody else. The side that created it is told so in
// `created`; zero-filling is the caller's rule.
NamedMapping OpenOrCreateMapping(const char* name, DWORD size, DWORD openAccess = FILE_MAP_WRITE);
