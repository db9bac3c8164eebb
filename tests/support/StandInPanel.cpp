#include "StandInPanel.h"

#include "TestProcess.h"

#include <cstring>

StandInPanel::StandInPanel()
    : log_(openPanelLog()), ready_(CreateEventA(nullptr, TRUE, FALSE, kPanelReadyEventName)),
      quit_(CreateEventA(nullptr, TRUE, FALSE, kPanelQuitEventName)) {
    clearLog();
}

bool StandInPanel::start(const std::string& arguments) {
    stop();
    ResetEvent(quit_.get());
    ResetEvent(ready_.get());
    process_ = startProcess("\"" + testProgramFolder() + "PanelStandIn.exe\" " + arguments);
    if (!process_)
        return false;
    return waitForReady(10000);
}

bool StandInPanel::waitForReady(DWORD timeoutMs) {
    if (WaitForSingleObject(ready_.get(), timeoutMs) != WAIT_OBJECT_0)
        return false;
    if (!process_) {
        PanelLog* log = panelLogOf(log_);
        process_.reset(OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, log->standInPid));
    }
    return true;
}

void StandInPanel::stop() {
    SetEvent(quit_.get());
    if (process_ && WaitForSingleObject(process_.get(), 5000) != WAIT_OBJECT_0)
        TerminateProcess(process_.get(), 1);
    process_.reset();
    ResetEvent(ready_.get());
}

void StandInPanel::clearLog() {
    if (PanelLog* log = panelLogOf(log_))
        std::memset(log, 0, sizeof(PanelLog));
}

std::vector<PanelLogEntry> StandInPanel::entries() const {
    std::vector<PanelLogEntry> result;
    if (const PanelLog* log = panelLogOf(log_)) {
        const LONG count = log->count < kPanelLogCapacity ? log->count : kPanelLogCapacity;
        result.assign(log->entries, log->entries + count);
    }
    return result;
}

std::vector<uint32_t> StandInPanel::commands() const {
    std::vector<uint32_t> result;
    for (const PanelLogEntry& e : entries())
        result.push_back(e.command);
    return result;
}

bool StandInPanel::waitForEntries(size_t count, DWORD timeoutMs) const {
    return waitUntil([&] { return entries().size() >= count; }, timeoutMs);
}
