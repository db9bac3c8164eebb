// Takes pictures of the running control panel on a Wine virtual desktop: the main dialog on
// each page, the about box and the notification area. Each picture is a 24-bit BMP of the screen
// area the window covers; scripts/panel-screenshots.sh turns them into PNG files. Last, the
// panel is minimised and the icon's menu opened, for the script to picture from the X server.
//
// QvK9PanelShots.exe OUTDIR     pictures, with the report in OUTDIR\shots.txt
// QvK9PanelShots.exe --texts    only what the pages show, on standard output; the panel runs on
// QvK9PanelShots.exe --running  exit code 0 when the panel's window exists now, 1 when not
#include "common/PanelCommands.h"
#include "common/UniqueResource.h"
#include "cpl/ui/Resource.h"

#include <commctrl.h>
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr char kAboutCaption[] = "About Calmora Quenvora-K9 USB Audio Control Panel";

template <typename Predicate>
bool waitFor(Predicate done, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > timeoutMs)
            return false;
        Sleep(50);
    }
    return true;
}

// Lets the panel paint before the picture is taken.
void settle() {
    Sleep(700);
}

bool saveScreenArea(const RECT& area, const std::string& path) {
    const int width = area.right - area.left;
    const int height = area.bottom - area.top;
    if (width <= 0 || height <= 0)
        return false;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY);
    GdiFlush();
    const DWORD stride = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
    const DWORD imageBytes = stride * static_cast<DWORD>(height);
    BITMAPFILEHEADER file = {};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
    file.bfSize = file.bfOffBits + imageBytes;
    bool saved = false;
    if (FILE* out = std::fopen(path.c_str(), "wb")) {
        saved = std::fwrite(&file, sizeof(file), 1, out) == 1 &&
                std::fwrite(&info.bmiHeader, sizeof(BITMAPINFOHEADER), 1, out) == 1 &&
                std::fwrite(bits, imageBytes, 1, out) == 1;
        std::fclose(out);
    }
    SelectObject(memory, previous);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    std::printf("%s %s (%dx%d)\n", saved ? "saved" : "FAILED", path.c_str(), width, height);
    return saved;
}

bool saveWindow(HWND window, const std::string& path) {
    RECT area;
    GetWindowRect(window, &area);
    return saveScreenArea(area, path);
}

void printText(HWND page, int id, const char* label) {
    char text[256] = {};
    SendMessageA(GetDlgItem(page, id), WM_GETTEXT, sizeof(text), reinterpret_cast<LPARAM>(text));
    std::printf("  %-22s %s\n", label, text);
}

struct PageSearch {
    int id;
    HWND found;
};

BOOL CALLBACK findPage(HWND child, LPARAM context) {
    auto* search = reinterpret_cast<PageSearch*>(context);
    if (GetDlgItem(child, search->id) != nullptr) {
        search->found = child;
        return FALSE;
    }
    return TRUE;
}

HWND pageOf(HWND main, int id) {
    PageSearch search{id, nullptr};
    EnumChildWindows(main, findPage, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

} // namespace

int main(int argc, char** argv) {
    const std::string first = argc > 1 ? argv[1] : "";
    if (first == "--running")
        return FindWindowA(nullptr, kPanelWindowTitle) != nullptr ? 0 : 1;
    const bool textsOnly = first == "--texts";
    const std::string out = argc > 1 && !textsOnly ? std::string(argv[1]) + "\\" : std::string();
    // Started on the virtual desktop, the tool has no console: what it reports goes to a file,
    // and "done" tells the script it has finished.
    if (!out.empty())
        std::freopen((out + "shots.txt").c_str(), "w", stdout);
    HWND panel = nullptr;
    if (!waitFor([&] { return (panel = FindWindowA(nullptr, kPanelWindowTitle)) != nullptr; },
                 30000)) {
        std::printf("the panel did not come up\ndone\n");
        return 1;
    }
    settle();
    HWND tabs = GetDlgItem(panel, IDC_PAGE_TABS);
    if (!textsOnly) {
        SendMessageA(panel, WM_COMMAND, ASIOWM_SHOWCPL, 0); // restored and on top
        SendMessageA(tabs, TCM_SETCURFOCUS, 0, 0);
        settle();
        // A shown message line blinks (written each second, blanked half a second later): the
        // picture counts when the line read before and after it was taken.
        HWND line = GetDlgItem(panel, IDC_MESSAGE_LINE);
        auto reads = [&] { return SendMessageA(line, WM_GETTEXTLENGTH, 0, 0) > 0; };
        for (int attempt = 0; attempt < 10; ++attempt) {
            if (IsWindowVisible(line))
                waitFor(reads, 2000);
            Sleep(100); // painted
            const bool before = reads();
            saveWindow(panel, out + "main-format.bmp");
            if (!IsWindowVisible(line) || (before && reads()))
                break;
        }
    }
    HWND formatPage = pageOf(panel, IDC_PLAY_FORMAT);
    std::printf("format page:\n");
    printText(formatPage, IDC_PLAY_FORMAT, "playback format");
    printText(formatPage, IDC_PLAY_STATUS, "playback stream");
    printText(formatPage, IDC_REC_FORMAT, "record format");
    printText(formatPage, IDC_REC_STATUS, "record stream");
    printText(panel, IDC_MESSAGE_LINE, "message line");
    if (!textsOnly) {
        SendMessageA(tabs, TCM_SETCURFOCUS, 1, 0);
        settle();
        saveWindow(panel, out + "main-asio.bmp");
    }
    HWND asioPage = pageOf(panel, IDC_ASIO_DRIVER_STATE);
    std::printf("ASIO page:\n");
    printText(asioPage, IDC_ASIO_DRIVER_STATE, "driver");
    printText(asioPage, IDC_ASIO_STREAM_STATE, "stream");
    printText(asioPage, IDC_ASIO_BUFFER_SIZE, "buffer size");
    printText(asioPage, IDC_ASIO_STATUS_LINE, "status line");
    if (textsOnly)
        return 0;

    PostMessageA(panel, WM_SYSCOMMAND, ID_SYS_ABOUT, 0);
    HWND about = nullptr;
    if (waitFor([&] { return (about = FindWindowA("#32770", kAboutCaption)) != nullptr; }, 5000)) {
        settle();
        saveWindow(about, out + "about.bmp");
        PostMessageA(about, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        waitFor([&] { return !IsWindow(about); }, 5000);
    } else {
        std::printf("the about box did not open\n");
    }

    // The notification area: the icon, then its menu, in the lower right of the desktop.
    HWND tray = FindWindowA("Shell_TrayWnd", nullptr);
    RECT trayArea = {};
    if (tray != nullptr) {
        GetWindowRect(tray, &trayArea);
        trayArea.left = trayArea.right - 320;
        settle();
        saveScreenArea(trayArea, out + "tray.bmp");
    } else {
        std::printf("no notification area on this desktop\n");
    }
    // The menu opens at the cursor, as when the user clicks the icon; minimised, the panel lives
    // only as the icon, and the menu offers "Show".
    SendMessageA(panel, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    waitFor([&] { return !IsWindowVisible(panel); }, 5000);
    if (tray != nullptr)
        SetCursorPos(trayArea.right - 48,
                     trayArea.top + 8); // beside the icon: no tip over the menu
    PostMessageA(panel, WM_TRAYICON, 1, WM_RBUTTONDOWN);
    HWND menu = nullptr;
    if (waitFor(
            [&] {
                return (menu = FindWindowA("#32768", nullptr)) != nullptr && IsWindowVisible(menu);
            },
            5000)) {
        // The pointer moves onto the item, as the user's does, and the icon's tip goes away.
        RECT menuArea;
        GetWindowRect(menu, &menuArea);
        SetCursorPos((menuArea.left + menuArea.right) / 2, (menuArea.top + menuArea.bottom) / 2);
        settle();
        // A copy of the screen from here shows the menu's area black on a Wine virtual desktop;
        // the script pictures it from the X server and then leaves a file to say so.
        std::printf("tray menu open at %ld,%ld (%ldx%ld)\n", menuArea.left, menuArea.top,
                    menuArea.right - menuArea.left, menuArea.bottom - menuArea.top);
        std::fflush(stdout);
        const std::string pictured = out + "menu-pictured";
        waitFor([&] { return GetFileAttributesA(pictured.c_str()) != INVALID_FILE_ATTRIBUTES; },
                10000);
        DeleteFileA(pictured.c_str());
        PostMessageA(menu, WM_KEYDOWN, VK_ESCAPE, 0);
    } else {
        std::printf("the tray menu did not open\n");
    }
    std::printf("done\n");
    std::fflush(stdout);
    return 0;
}
