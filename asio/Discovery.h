// Finding the device's wave endpoints by the USB identity in their interface paths, naming
// them, and creating each endpoint's ring; and releasing them again.
#pragma once

#include <cstddef>

class AsioSample;

struct UsbIdentity {
    unsigned vendorId = 0xFF;
    unsigned productId = 0xFF;
    unsigned interfaceNumber = 0xFF; // 0xFF when the path names none
};

// Reads "VID_", "PID_" and "MI_" from an interface path; upper-cases the path in place.
UsbIdentity parseInterfacePath(wchar_t* path);
// The endpoint slot an identity is accepted for, or -1.
int acceptedSlot(const UsbIdentity& id);
// "\\?\USB#VID_..#inst#{class}\ref" becomes "USB\VID_..\INST"; empty when it cannot.
void interfacePathToInstanceId(const wchar_t* path, char* out, size_t outBytes);
// The friendly name device setup knows for an instance; empty when none.
void friendlyNameOfInstance(const char* instanceId, char* name, size_t nameBytes);

// True when at least one endpoint of the direction was accepted.
bool discoverInputEndpoints(AsioSample& driver);
bool discoverOutputEndpoints(AsioSample& driver);

// A driver in another process holds one of the device's rings.
bool deviceClaimedElsewhere();

void releaseOutputEndpoints(AsioSample& driver);
void releaseInputEndpoints(AsioSample& driver);
