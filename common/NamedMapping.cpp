#include "NamedMapping.h"

#include "SameUserSecurity.h"

NamedMapping OpenOrCreateMapping(const char* name, DWORD size, DWORD openAccess) {
    NamedMapping result;
    result.mapping.reset(OpenFileMappingA(openAccess, FALSE, name));
    if (!result.mapping) {
        SameUserSecurity security(FILE_MAP_ALL_ACCESS);
        HANDLE created = CreateFileMappingA(INVALID_HANDLE_VALUE, security.attributes(),
                                            PAGE_READWRITE, 0, size, name);
        DWORD error = GetLastError();
        // A system that refuses the descriptor still gets its shared memory, as it always had.
        if (created == nullptr && security.attributes() != nullptr) {
            created =
                CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, size, name);
            error = GetLastError();
        }
        result.mapping.reset(created);
        // Another process may have created it between our open and our create: then it is
        // theirs, already filled in, and must not be zeroed again.
        result.created = result.mapping.valid() && error != ERROR_ALREADY_EXISTS;
    }
    if (result.mapping)
        result.view.reset(MapViewOfFile(result.mapping.get(), FILE_MAP_ALL_ACCESS, 0, 0, 0));

    // A mapping of that name made smaller by someone else would let our writes run past it.
    MEMORY_BASIC_INFORMATION region = {};
    if (result.view &&
        (VirtualQuery(result.view.get(), &region, sizeof(region)) == 0 || region.RegionSize < size))
        result = NamedMapping{};
    return result;
}
