// The device's audio endpoints on the endpoint path: those whose host device text carries the
// device's USB identity.
#include "UsbAudioDevice.h"

#include "EndpointWatcher.h"

#include <cstring>
#include <cwchar>
#include <new>

bool CUsbAudioDevice::MakeWatcherReady() {
    if (watcherReady_)
        return true;
    if (!watcher_)
        watcher_.reset(new (std::nothrow) CEndpointWatcher());
    if (watcher_ && watcher_->HasEnumerator()) {
        watcherReady_ = true;
        return true;
    }
    watcher_.reset();
    return false;
}

bool CUsbAudioDevice::CollectEndpoints(int flow, const char* identity,
                                       wchar_t (*ids)[kEndpointIdChars], int* count) {
    *count = 0;
    if (!MakeWatcherReady())
        return false;
    watcher_->EnumerateEndpoints(flow);
    const int endpoints = watcher_->GetEndpointCount(flow);
    for (int i = 0; i < endpoints && *count < kEndpointSlots; ++i) {
        wchar_t text[kEndpointTextChars] = {};
        watcher_->GetEndpointProperty(flow, i, kEndpointHostDevice, text);
        // A text read as raw bytes has no terminator of its own: never look past the buffer.
        char ansi[2 * kEndpointTextChars + 1] = {};
        const int length = static_cast<int>(wcsnlen(text, kEndpointTextChars));
        if (length > 0 && WideCharToMultiByte(CP_ACP, 0, text, length, ansi, sizeof(ansi) - 1,
                                              nullptr, nullptr) == 0)
            continue;
        CharUpperA(ansi);
        if (std::strstr(ansi, identity) == nullptr)
            continue;
        wchar_t(&slot)[kEndpointIdChars] = ids[*count];
        slot[0] = L'\0';
        // An endpoint that vanished since it was counted leaves its slot empty, and the open
        // then fails rather than go on with a part of the device.
        if (!watcher_->GetEndpointId(flow, i, slot))
            slot[0] = L'\0';
        ++*count;
    }
    return *count != 0;
}
