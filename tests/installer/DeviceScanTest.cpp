// Recognising the package's devices and INF files.
#include "InstallerMachine.h"
#include "TestDevices.h"

#include "installer/DeviceScan.h"

#include <gtest/gtest.h>

namespace {

TEST(DeviceScanIds, RevisionIsCutAndOnlyCompositeInterfacesQualify) {
    std::wstring id;
    ASSERT_TRUE(InterfaceIdOf(L"USB\\VID_1852&PID_7022&REV_0100&MI_01", id));
    EXPECT_EQ(id, L"USB\\VID_1852&PID_7022&MI_01");
    EXPECT_FALSE(InterfaceIdOf(L"USB\\VID_1852&PID_7022&REV_0100", id));
    EXPECT_FALSE(InterfaceIdOf(L"USB\\VID_1852&PID_7022&MI_01", id));
    EXPECT_FALSE(InterfaceIdOf(L"", id));

    EXPECT_TRUE(MatchesHardwareId(L"USB\\VID_1852&PID_7022&MI_01", L"usb\\vid_1852&pid_7022"));
    EXPECT_TRUE(
        MatchesHardwareId(L"USB\\VID_1852&PID_7022&MI_01", L"USB\\VID_1852&PID_7022&MI_01"));
    EXPECT_FALSE(
        MatchesHardwareId(L"USB\\VID_1852&PID_7022&MI_00", L"USB\\VID_1852&PID_7022&MI_01"));
    // A shorter device id never matches a longer request, nor does an empty request match all.
    EXPECT_FALSE(MatchesHardwareId(L"USB\\VID_1852", L"USB\\VID_1852&PID_7022"));
    EXPECT_FALSE(MatchesHardwareId(L"USB\\VID_1852&PID_7022&MI_01", L""));
}

TEST(DeviceScanInf, SectionIsFoundOnAnyLineIgnoringCaseButAnEmptyOneNeverMatches) {
    const std::wstring folder = ScratchFolder(L"QvK9InfScan");
    const std::wstring inf = folder + L"test.inf";
    WriteTextFile(inf, DriverInfText("QvK9Install", "x.sys"));
    EXPECT_TRUE(InfHoldsSection(inf, L"QVK9INSTALL"));
    EXPECT_FALSE(InfHoldsSection(inf, L"OTHERSECTION"));
    // Every line would hold the empty text: that would claim every maker's INF as ours.
    EXPECT_FALSE(InfHoldsSection(inf, L""));
    EXPECT_FALSE(InfHoldsSection(folder + L"missing.inf", L"QVK9INSTALL"));
    // A line longer than the line buffer is read in pieces; nothing overruns.
    WriteTextFile(inf, std::string(10000, 'a') + "\r\n[QvK9Install]\r\n");
    EXPECT_TRUE(InfHoldsSection(inf, L"QVK9INSTALL"));
    RemoveFolder(folder);
}

} // namespace
