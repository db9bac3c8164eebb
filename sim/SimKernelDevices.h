// The simulated machine's kernel side as the device I/O port reaches it: the device's topology
// filter and the Trelvik driver's device. Each answers DeviceIoControl as its driver would.
#pragma once

#include <windows.h>

namespace sim {

// Index of the present topology filter with this interface path, or -1.
int findTopologyFilter(const char* path);
// The filter is the Quenvora-K9's and the device is plugged in.
bool isDeviceFilter(int filter);
BOOL topologyRequest(int filter, DWORD code, void* in, DWORD inSize, void* out, DWORD outSize,
                     DWORD* returned);

// The Trelvik device exists while its service runs.
bool trelvikPresent();
BOOL trelvikRequest(DWORD code, void* in, DWORD inSize, void* out, DWORD outSize, DWORD* returned);

} // namespace sim
