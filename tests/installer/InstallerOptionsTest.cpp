// Reading the installer's command line and the checks that let the driver stage run.
#include "installer/InstallerOptions.h"

#include <gtest/gtest.h>

namespace {

constexpr wchar_t kTypicalInstall[] =
    L"USB\\VID_1852&PID_7022&MI_01,/S QvK9Install,/D \"C:\\Program Files\\Calmora\\Driver\\"
    L"QvK9.inf\",/A,/O,/C,/R";

bool alwaysThere(const wchar_t*) {
    return true;
}
bool neverThere(const wchar_t*) {
    return false;
}

TEST(InstallerOptions, ReadsTheSetupProgramsLine) {
    const InstallerOptions o = ParseInstallerOptions(kTypicalInstall);
    EXPECT_TRUE(o.accepted);
    EXPECT_FALSE(o.uninstall);
    EXPECT_TRUE(o.autostart && o.asioRegistration && o.certificates && o.restart);
    EXPECT_EQ(o.hardwareId, L"USB\\VID_1852&PID_7022&MI_01");
    EXPECT_EQ(o.infSection, L"QVK9INSTALL");
    // Quotes vanish, the blank inside them stays, the letters are upper case.
    EXPECT_EQ(o.infPath, L"C:\\PROGRAM FILES\\CALMORA\\DRIVER\\QVK9.INF");
}

TEST(InstallerOptions, BlanksOutsideQuotesAndLetterCaseDoNotMatter) {
    const InstallerOptions spaced = ParseInstallerOptions(L"/u , /s  qvk9install , usb\\vid_1852");
    const InstallerOptions packed = ParseInstallerOptions(L"/U,/SQVK9INSTALL,USB\\VID_1852");
    EXPECT_TRUE(spaced.uninstall);
    EXPECT_EQ(spaced.infSection, packed.infSection);
    EXPECT_EQ(spaced.hardwareId, packed.hardwareId);
    // Only a to z change: other letters and a tab are kept as they are.
    EXPECT_EQ(NormaliseCommandLine(L"\"a b\" c\t\u00e9\u00df"), L"A BC\t\u00e9\u00df");
    // An unclosed quote keeps blanks to the end of the line.
    EXPECT_EQ(NormaliseCommandLine(L"x \"y z"), L"XY Z");
}

TEST(InstallerOptions, SwitchesAreFoundAnywhereEvenInsideValues) {
    const InstallerOptions o = ParseInstallerOptions(L"/D C:/Users/x.inf,USB\\VID_1");
    // "/U" of "C:/USERS" counts: the caller keeps such paths out of the line.
    EXPECT_TRUE(o.uninstall);
    EXPECT_EQ(o.infPath, L"C:/USERS/X.INF");
    // The first "USB" starts the id, wherever it stands.
    const InstallerOptions early = ParseInstallerOptions(L"/S USBSECTION,USB\\VID_1852&PID_7022");
    EXPECT_EQ(early.hardwareId, L"USBSECTION");
}

TEST(InstallerOptions, EmptyMissingAndGarbageGiveEmptyValues) {
    for (const wchar_t* line : {static_cast<const wchar_t*>(nullptr), L"", L",,,,", L"\"\"\"",
                                L"/S", L"/D,", L"USB", L"\u0001\uffff/x", L"/S,/D,USB,"}) {
        const InstallerOptions o = ParseInstallerOptions(line);
        EXPECT_TRUE(o.accepted);
        EXPECT_LE(o.hardwareId.size(), 3u);
        EXPECT_TRUE(o.infSection.empty());
        EXPECT_TRUE(o.infPath.empty());
        EXPECT_FALSE(DriverStageGateOpen(o, 10, alwaysThere));
    }
}

TEST(InstallerOptions, OverlongInputHasADefinedResult) {
    // 519 units fit the line buffer with its terminator; 520 do not, and the run does nothing.
    std::wstring line = L"/U,/A," + std::wstring(513, L'x');
    ASSERT_EQ(line.size(), 519u);
    EXPECT_TRUE(ParseInstallerOptions(line.c_str()).accepted);
    line += L'x';
    const InstallerOptions rejected = ParseInstallerOptions(line.c_str());
    EXPECT_FALSE(rejected.accepted);
    EXPECT_FALSE(rejected.uninstall || rejected.autostart);

    // A value of 259 characters is taken whole; one of 260 is dropped, not cut short, and the
    // other values and switches still count.
    const std::wstring section259(256, L'S');
    InstallerOptions o = ParseInstallerOptions((L"/A,/SABC" + section259).c_str());
    EXPECT_EQ(o.infSection.size(), 259u);
    o = ParseInstallerOptions((L"/A,/D" + std::wstring(260, L'P') + L",/SQVK").c_str());
    EXPECT_TRUE(o.infPath.empty());
    EXPECT_EQ(o.infSection, L"QVK");
    EXPECT_TRUE(o.autostart);
    o = ParseInstallerOptions((L"USB\\VID_1852&PID_7022&MI_01" + std::wstring(240, L'9')).c_str());
    EXPECT_TRUE(o.hardwareId.empty());
}

TEST(DriverStageGate, HardwareIdOf21CharactersPassesAnd20ClearsIt) {
    InstallerOptions o = ParseInstallerOptions(L"USB\\VID_1852&PID_7022,/D C:\\D\\X.INF");
    ASSERT_EQ(o.hardwareId.size(), 21u);
    EXPECT_TRUE(DriverStageGateOpen(o, 10, alwaysThere));
    o = ParseInstallerOptions(L"USB\\VID_1852&PID_702,/D C:\\D\\X.INF");
    ASSERT_EQ(o.hardwareId.size(), 20u);
    EXPECT_FALSE(DriverStageGateOpen(o, 10, alwaysThere));
}

TEST(DriverStageGate, EachModeNeedsItsOwnValue) {
    // Uninstalling needs a section of at least 3 characters, not an INF file.
    InstallerOptions o = ParseInstallerOptions(L"/U,USB\\VID_1852&PID_7022,/S ABC");
    EXPECT_TRUE(DriverStageGateOpen(o, 5, neverThere));
    o = ParseInstallerOptions(L"/U,USB\\VID_1852&PID_7022,/S AB,/D C:\\D\\X.INF");
    EXPECT_FALSE(DriverStageGateOpen(o, 5, alwaysThere));
    // Installing needs an INF path of at least 7 characters that names an existing file.
    o = ParseInstallerOptions(L"USB\\VID_1852&PID_7022,/D C:\\X.INF");
    EXPECT_TRUE(DriverStageGateOpen(o, 11, alwaysThere));
    EXPECT_FALSE(DriverStageGateOpen(o, 11, neverThere));
    o = ParseInstallerOptions(L"USB\\VID_1852&PID_7022,/D C:\\X.I");
    EXPECT_FALSE(DriverStageGateOpen(o, 11, alwaysThere));
}

TEST(DriverStageGate, RunsOnWindows2000ToWindows7Only) {
    const InstallerOptions o = ParseInstallerOptions(L"USB\\VID_1852&PID_7022,/D C:\\D\\X.INF");
    for (WindowsVersionCode code = 0; code <= 13; ++code)
        EXPECT_EQ(DriverStageGateOpen(o, code, alwaysThere), code >= 5 && code <= 11) << code;
}

TEST(DriverStageGate, FindsRealFiles) {
    wchar_t system[MAX_PATH] = {};
    GetSystemDirectoryW(system, MAX_PATH);
    EXPECT_TRUE(FileMatchExists((std::wstring(system) + L"\\kernel32.dll").c_str()));
    EXPECT_TRUE(FileMatchExists((std::wstring(system) + L"\\kernel3?.dll").c_str()));
    EXPECT_FALSE(FileMatchExists((std::wstring(system) + L"\\no-such-file.inf").c_str()));
}

} // namespace
