// The real control panel as its own process, driven the way the driver, the installer and a
// user reach it: found by its title, spoken to with window messages.
#pragma once

#include "common/UniqueResource.h"

#include <windows.h>

#include <string>

// The simulated-device build of the panel beside the test programs, and the shipped one.
std::string simPanelPath();
std::string shippedPanelPath();

class PanelProcess {
public:
    PanelProcess() = default;
    ~PanelProcess() { stop(); }
    PanelProcess(const PanelProcess&) = delete;
    PanelProcess& operator=(const PanelProcess&) = delete;

    // Starts the panel and waits until its window answers; false when it did not come up.
    bool start(const std::string& path = simPanelPath());
    // Takes over a panel another program started, once its window answers; false when none
    // came up in time.
    bool attach(DWORD timeoutMs);
    // Starts the program without waiting for a window (second starts).
    bool launch(const std::string& path = simPanelPath());
    // Waits for the process to end by itself; its exit code in `exitCode`.
    bool waitForExit(DWORD timeoutMs, DWORD* exitCode = nullptr);
    // Sends the installer's exit command and waits; ends the process by force if it hangs.
    void stop();
    bool running() const;

    HWND window() const { return window_; }
    // The page (a child dialog) that holds control `id`, and the control itself.
    HWND page(int controlId) const;
    HWND control(int id) const;

    // The control's text, read with WM_GETTEXT through the panel's own thread.
    std::string text(int id) const;
    // Entry `index` of a combo box, read as UTF-16 as a foreign process must.
    std::string comboText(int id, int index) const;
    int comboSelection(int id) const;
    int comboCount(int id) const;

    // Sends WM_COMMAND with `command` (high word 0) and lParam 0, as the driver does.
    void command(UINT command) const;
    // Selects a combo entry as a user does: the selection, then the notice to the page.
    void chooseCombo(int id, int index) const;
    // Moves the slider to `position` and tells the page, as a drag does.
    void moveSlider(int id, int position) const;
    // Clicks a button; the click is posted, so a message box it opens does not block the test.
    void click(int id) const;

private:
    UniqueHandle process_;
    HWND window_ = nullptr;
};

// Polls until the window's visibility is `visible`.
bool waitVisible(HWND window, bool visible, DWORD timeoutMs);
// Polls until control text equals `expected`.
bool waitText(const PanelProcess& panel, int id, const std::string& expected, DWORD timeoutMs);
