// Who the driver is to COM, to ASIO hosts and to the profile.
#pragma once

#include <windows.h>

// {58527022-702F-47D6-B9F4-97556F3FF061}: the class, and the interface identifier of IASIO.
constexpr CLSID CLSID_QvK9Asio = {
    0x58527022, 0x702F, 0x47D6, {0xB9, 0xF4, 0x97, 0x55, 0x6F, 0x3F, 0xF0, 0x61}};

// The 64-bit driver lies beside the 32-bit one in the package folder, under its own name; both
// are the same class to COM and the same driver to hosts, each in its own registry view.
#ifdef _WIN64
constexpr char kDriverModuleName[] = "QvK9ASIO64.dll";
#else
constexpr char kDriverModuleName[] = "QvK9ASIO.dll";
#endif
constexpr char kDriverName[] = "Quenvora-K9 USB Audio ASIO";
constexpr char kPanelProgramName[] = "QvK9CPL.exe";
constexpr char kDriverProfileSection[] = "QvK9AsioDrv";
constexpr char kOpenFailureText[] = "ASIO Driver open failure!";
