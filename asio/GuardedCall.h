// One guarded door per entry point: nothing may unwind into the host or into Windows.
#pragma once

#include <windows.h>

template <typename Result, typename Body>
Result guarded(Result onFailure, Body&& body) noexcept {
    try {
        return body();
    } catch (...) {
        OutputDebugStringA("QvK9ASIO: unexpected failure caught at the interface");
        return onFailure;
    }
}

template <typename Body>
void guardedVoid(Body&& body) noexcept {
    try {
        body();
    } catch (...) {
        OutputDebugStringA("QvK9ASIO: unexpected failure caught at the interface");
    }
}
