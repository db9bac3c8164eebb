#include "NamedMapping.h"

NamedMapping OpenOrCreateMapping(const char* name, DWORD size, DWORD openAccess) {
    NamedMapping result;
    result.mapping.reset(OpenFileMappingA(openAccess, FALSE, name));
    if (!result.mapping) {
        result.mapping.reset(
            CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, size, name));
        result.created = result.mapping.valid();
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
