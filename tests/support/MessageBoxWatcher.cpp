#include "MessageBoxWatcher.h"

namespace {

constexpr char kDialogClass[] = "#32770";
constexpr int kMessageTextId = 0xFFFF;
constexpr DWORD kPollMs = 10;
constexpr DWORD kCloseTimeoutMs = 5000;

} // namespace

MessageBoxWatcher::MessageBoxWatcher(std::string caption)
    : caption_(std::move(caption)), thread_([this] { watch(); }) {}

MessageBoxWatcher::~MessageBoxWatcher() {
    stop_ = true;
    thread_.join();
}

std::vector<std::string> MessageBoxWatcher::texts() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return texts_;
}

std::vector<std::string> MessageBoxWatcher::waitFor(size_t count, DWORD timeoutMs) const {
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < timeoutMs) {
        if (texts().size() >= count)
            break;
        Sleep(kPollMs);
    }
    return texts();
}

void MessageBoxWatcher::watch() {
    try {
        while (!stop_) {
            HWND box = FindWindowA(kDialogClass, caption_.c_str());
            // A box becomes visible once its text is in place.
            if (box != nullptr && IsWindowVisible(box))
                closeBox(box);
            else
                Sleep(kPollMs);
        }
    } catch (...) {
        // Nothing may leave a thread; a box left open shows up as a hung test.
    }
}

void MessageBoxWatcher::closeBox(HWND box) {
    char text[512] = {};
    GetDlgItemTextA(box, kMessageTextId, text, sizeof text);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        texts_.emplace_back(text);
    }
    // Wait for it to go, so that the same box is not counted twice.
    const DWORD start = GetTickCount();
    while (IsWindow(box) && GetTickCount() - start < kCloseTimeoutMs) {
        PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        Sleep(kPollMs * 5);
    }
}
