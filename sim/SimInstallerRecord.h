// What the installer asked of the simulated machine that a real machine would act on: restarts
// and Plug and Play re-enumerations are recorded here instead, for tests in any process to read.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

namespace sim {

constexpr char kInstallerRecordName[] = "QvK9Sim Installer Record";

struct SimInstallerRecord {
    // Fault switch: the token does not hold the shutdown privilege.
    int32_t shutdownPrivilegeMissing;
    // Set while the simulated token has the shutdown privilege enabled.
    int32_t shutdownPrivilegeEnabled;
    volatile LONG privilegeAdjustments;
    volatile LONG shutdownRequests;
    int32_t privilegeEnabledAtRequest;
    DWORD lastTimeoutSeconds;
    int32_t lastForceAppsClosed;
    int32_t lastReboot;
    wchar_t lastNotice[128];

    volatile LONG rootLocates;    // CM_Locate_DevNode for the root device node
    volatile LONG reenumerations; // CM_Reenumerate_DevNode
    DWORD lastReenumerateFlags;
};

// The same record for processes of both bitnesses.
static_assert(sizeof(SimInstallerRecord) == 300);
static_assert(offsetof(SimInstallerRecord, shutdownPrivilegeEnabled) == 4);
static_assert(offsetof(SimInstallerRecord, privilegeAdjustments) == 8);
static_assert(offsetof(SimInstallerRecord, shutdownRequests) == 12);
static_assert(offsetof(SimInstallerRecord, privilegeEnabledAtRequest) == 16);
static_assert(offsetof(SimInstallerRecord, lastTimeoutSeconds) == 20);
static_assert(offsetof(SimInstallerRecord, lastForceAppsClosed) == 24);
static_assert(offsetof(SimInstallerRecord, lastReboot) == 28);
static_assert(offsetof(SimInstallerRecord, lastNotice) == 32);
static_assert(offsetof(SimInstallerRecord, rootLocates) == 288);
static_assert(offsetof(SimInstallerRecord, reenumerations) == 292);
static_assert(offsetof(SimInstallerRecord, lastReenumerateFlags) == 296);

// The record, zero on the machine's first use; it lives while any process keeps it open.
SimInstallerRecord* installerRecord();
// Back to zero, fault switches included.
void clearInstallerRecord();

} // namespace sim
