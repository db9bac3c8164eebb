// One property request to the topology filter: a 24-byte property header in, the 16-byte value
// buffer out (for get and set alike).
#pragma once

#include <windows.h>

#include <cstdint>

// True only when the call succeeded and answered at least the 16 value bytes.
bool SendDeviceProperty(HANDLE filter, uint32_t id, uint32_t flags, void* value16);
