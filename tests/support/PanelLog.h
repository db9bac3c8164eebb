// What the stand-in panel window saw: each command with the shared block as it was then.
#pragma once

#include "common/AsioSharedBlock.h"
#include "common/NamedMapping.h"

#include <cstdint>

constexpr char kPanelLogName[] = "QvK9Test Panel Log";
constexpr char kPanelReadyEventName[] = "QvK9Test Panel Ready";
constexpr char kPanelQuitEventName[] = "QvK9Test Panel Quit";
// Recorded when the stand-in found the block's show request set (and cleared it).
constexpr uint32_t kShowRequestSeen = 0xFFFF;
constexpr int kPanelLogCapacity = 256;

struct PanelLogEntry {
    uint32_t command;
    uint32_t blockValid;
    AsioSharedBlock block;
};

struct PanelLog {
    volatile LONG count;
    DWORD standInPid;
    PanelLogEntry entries[kPanelLogCapacity];
};

// Opens or creates the log; `created` tells whether it was new (and so zeroed by the system).
NamedMapping openPanelLog();
inline PanelLog* panelLogOf(const NamedMapping& m) {
    return static_cast<PanelLog*>(m.view.get());
}
