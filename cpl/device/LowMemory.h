// Memory whose addresses fit the 32-bit address fields of the Trelvik driver's records. On
// 32-bit Windows every address fits; a 64-bit build must place the block below 4 GB.
#pragma once

#include "common/UniqueResource.h"

#include <windows.h>

#include <cstdint>

struct VirtualMemoryTraits {
    using Type = void*;
    static Type invalid() { return nullptr; }
    static bool isValid(Type p) { return p != nullptr; }
    static void close(Type p) { VirtualFree(p, 0, MEM_RELEASE); }
};
using UniqueVirtualMemory = UniqueResource<VirtualMemoryTraits>;

// Zero-filled, read/write, entirely below 4 GB; invalid when no such room is free.
UniqueVirtualMemory AllocateLowMemory(size_t size);

// The address as the record's 32-bit field carries it; false when it does not fit.
bool ToAddress32(const void* p, uint32_t* address);
