// Identifiers of the control panel's resources, dialog items and commands. Shared by the
// resource script and the code, so plain preprocessor definitions only.
#pragma once

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

// Program-wide resources.
#define IDR_PANEL_ICON 128
#define IDB_ABOUT_PICTURE 129
#define IDR_ARRIVAL_SOUND 132
#define IDS_ABOUT_MENU 101

// Dialog templates.
#define IDD_ABOUT 100
#define IDD_MAIN 102
#define IDD_PAGE_FORMAT 107
#define IDD_PAGE_ASIO 108

// About box.
#define IDC_ABOUT_TITLE 1000
#define IDC_ABOUT_LINE2 1001
#define IDC_ABOUT_PICTURE 1031
#define IDC_ABOUT_LINE3 1032

// Main dialog.
#define IDC_PAGE_TABS 1002
#define IDC_MESSAGE_LINE 1017

// Audio format page.
#define IDC_PLAY_GROUP 1003
#define IDC_PLAY_FORMAT_LABEL 1004
#define IDC_PLAY_FORMAT 1006
#define IDC_PLAY_FIXED 1007
#define IDC_REC_GROUP 1008
#define IDC_PLAY_STATUS 1009
#define IDC_PLAY_STATUS_LABEL 1010
#define IDC_REC_FIXED 1011
#define IDC_REC_FORMAT_LABEL 1012
#define IDC_REC_STATUS 1013
#define IDC_REC_FORMAT 1015
#define IDC_REC_STATUS_LABEL 1016

// ASIO page.
#define IDC_ASIO_DRIVER_STATE 1018
#define IDC_ASIO_STREAM_STATE 1019
#define IDC_ASIO_AUTO_BUFFER 1020
#define IDC_ASIO_BUFFER_SLIDER 1021
#define IDC_ASIO_BUFFER_SIZE 1024
#define IDC_ASIO_BITS16 1025
#define IDC_ASIO_BITS24 1026
#define IDC_ASIO_STATUS_LABEL 1027
#define IDC_ASIO_BUFFER_GROUP 1028
#define IDC_ASIO_BITS_LABEL 1029
#define IDC_ASIO_STATUS_LINE 1030

// Commands and messages of the main window.
#define ID_SYS_ABOUT 0x0010
#define ID_TRAY_SHOW 0x8001
#define ID_TRAY_HIDE 0x8002
#define ID_CPL_EXIT_SECOND 0x8100
#define ID_TIMER_POLL 1567
#define WM_TRAYICON 0x8000
