// Message maps written as tables: each window class lists the messages it handles beside the
// member that handles them, and one walker finds the entry for a message.
#pragma once

#include <windows.h>

#include <cstddef>

// One row of a class's table. A handler returns true when the message is handled, with its
// result in `result`; false lets the default handling of the window run.
template <class T>
struct MessageEntry {
    UINT message; // WM_COMMAND and WM_NOTIFY rows also match `code` and `id`
    UINT code;    // notification code (BN_CLICKED, CBN_SELCHANGE, TCN_SELCHANGE ...)
    UINT_PTR id;  // control or command identifier
    bool (T::*handler)(WPARAM wParam, LPARAM lParam, LRESULT& result);
};

// A row for any message other than WM_COMMAND and WM_NOTIFY.
template <class T>
constexpr MessageEntry<T> OnMessageRow(UINT message, bool (T::*handler)(WPARAM, LPARAM, LRESULT&)) {
    return {message, 0, 0, handler};
}
// A row for WM_COMMAND from control or command `id` with notification `code`.
template <class T>
constexpr MessageEntry<T> OnCommandRow(UINT code, UINT_PTR id,
                                       bool (T::*handler)(WPARAM, LPARAM, LRESULT&)) {
    return {WM_COMMAND, code, id, handler};
}
// A row for WM_NOTIFY from control `id` with notification `code`.
template <class T>
constexpr MessageEntry<T> OnNotifyRow(UINT code, UINT_PTR id,
                                      bool (T::*handler)(WPARAM, LPARAM, LRESULT&)) {
    return {WM_NOTIFY, code, id, handler};
}

template <class T>
bool MessageEntryMatches(const MessageEntry<T>& entry, UINT message, WPARAM wParam, LPARAM lParam) {
    if (entry.message != message)
        return false;
    if (message == WM_COMMAND)
        return HIWORD(wParam) == entry.code && LOWORD(wParam) == entry.id;
    if (message == WM_NOTIFY) {
        const NMHDR* header = reinterpret_cast<const NMHDR*>(lParam);
        return header != nullptr && header->code == entry.code && header->idFrom == entry.id;
    }
    return true;
}

// Runs the first matching row's handler; false when no row matches or the handler passed on.
template <class T, size_t N>
bool DispatchMessageTable(T& target, const MessageEntry<T> (&table)[N], UINT message, WPARAM wParam,
                          LPARAM lParam, LRESULT& result) {
    for (const MessageEntry<T>& entry : table) {
        if (MessageEntryMatches(entry, message, wParam, lParam))
            return (target.*entry.handler)(wParam, lParam, result);
    }
    return false;
}
