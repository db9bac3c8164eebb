#include "ModuleReference.h"

// The linker's symbol for the start of this module's image: its module handle.
extern "C" IMAGE_DOS_HEADER __ImageBase;

// Loading the module once more by its own path takes a reference on every Windows from 2000 on
// (the by-address lookup of a module handle came with XP).
HMODULE referenceDriverModule() {
    char path[MAX_PATH] = {};
    const DWORD length =
        GetModuleFileNameA(reinterpret_cast<HMODULE>(&__ImageBase), path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return nullptr;
    return LoadLibraryA(path);
}
