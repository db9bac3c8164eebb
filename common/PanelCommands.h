// The control panel's identity for other processes and the commands it accepts.
#pragma once

constexpr char kPanelWindowTitle[] = "Calmora Quenvora-K9 USB Audio Control Panel";

// WM_COMMAND codes the ASIO driver sends after each state change (wParam, lParam 0).
enum PanelCommand : unsigned {
    ASIOWM_SHOWCPL = 0x8101,
    ASIOWM_SMPLRATECHANGE = 0x8102,
    ASIOWM_BUFCREATE = 0x8103,
    ASIOWM_BUFDISPOSE = 0x8104,
    ASIOWM_START = 0x8105,
    ASIOWM_STOP = 0x8106,
    ASIOWM_DRVLOAD = 0x8107,
    ASIOWM_DRVUNLOAD = 0x8108,
    ASIOWM_INIT = 0x8109,
    ASIOWM_GETBUFSIZE = 0x810A,
    ASIOWM_GETCHANNELINFO = 0x810B,
};

// The installer's request that the panel exits.
constexpr unsigned ID_CPL_EXIT = 0x8003;
