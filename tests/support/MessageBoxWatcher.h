// Finds message boxes by caption from a thread of its own, records their texts and closes them
// with OK, so that a test which makes the system show a box neither hangs nor misses it.
#pragma once

#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class MessageBoxWatcher {
public:
    explicit MessageBoxWatcher(std::string caption);
    ~MessageBoxWatcher();
    MessageBoxWatcher(const MessageBoxWatcher&) = delete;
    MessageBoxWatcher& operator=(const MessageBoxWatcher&) = delete;

    // Texts of the boxes closed so far, oldest first.
    std::vector<std::string> texts() const;
    // Waits until `count` boxes have been closed or `timeoutMs` has passed; returns the texts.
    std::vector<std::string> waitFor(size_t count, DWORD timeoutMs) const;

private:
    void watch();
    void closeBox(HWND box);

    const std::string caption_;
    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    std::vector<std::string> texts_;
    std::thread thread_;
};
