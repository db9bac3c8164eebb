// Starts and ends the stand-in panel process and reads what it recorded.
#pragma once

#include "PanelLog.h"
#include "common/UniqueResource.h"

#include <string>
#include <vector>

class StandInPanel {
public:
    StandInPanel();
    ~StandInPanel() { stop(); }
    StandInPanel(const StandInPanel&) = delete;
    StandInPanel& operator=(const StandInPanel&) = delete;

    // Starts `program` (default: the stand-in beside the tests) and waits for its window.
    bool start(const std::string& arguments = "");
    // Waits for a stand-in that someone else started (the driver's controlPanel).
    bool waitForReady(DWORD timeoutMs);
    // Asks the stand-in to end and waits for it.
    void stop();

    // Forgets what was recorded so far.
    void clearLog();
    std::vector<PanelLogEntry> entries() const;
    std::vector<uint32_t> commands() const;
    // Waits until `count` entries are recorded.
    bool waitForEntries(size_t count, DWORD timeoutMs) const;

private:
    NamedMapping log_;
    UniqueHandle ready_;
    UniqueHandle quit_;
    UniqueHandle process_;
};
