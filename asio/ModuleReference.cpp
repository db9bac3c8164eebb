#include "ModuleReference.h"

// Found from an address inside it and loaded once more by its own path, which every Windows the
// driver runs on offers (the by-address lookup of a module handle came with XP).
HMODULE referenceDriverModule() {
    MEMORY_BASIC_INFORMATION region = {};
    if (VirtualQuery(reinterpret_cast<const void*>(&referenceDriverModule), &region,
                     sizeof(region)) == 0 ||
        region.AllocationBase == nullptr)
        return nullptr;
    char path[MAX_PATH] = {};
    const DWORD length =
        GetModuleFileNameA(static_cast<HMODULE>(region.AllocationBase), path, sizeof(path));
    if (length == 0 || length >= sizeof(path))
        return nullptr;
    return LoadLibraryA(path);
}
