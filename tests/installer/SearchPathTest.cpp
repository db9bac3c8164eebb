// The package's Driver folder in the INF search path and the signing policy, against the real
// registry; the keys are made as a Windows installation has them and put back afterwards.
#include "InstallerMachine.h"

#include "common/UniqueResource.h"
#include "installer/SearchPath.h"

#include <gtest/gtest.h>

namespace {

TEST(SearchPathText, EntryGoesFirstOnce) {
    std::wstring result;
    EXPECT_TRUE(WithEntryFirst(L"%SystemRoot%\\inf", L"C:\\PKG\\DRIVER", result));
    EXPECT_EQ(result, L"C:\\PKG\\DRIVER;%SystemRoot%\\inf");
    EXPECT_FALSE(WithEntryFirst(result, L"C:\\PKG\\DRIVER", result));
    // The comparison is exact: another letter case is another folder.
    EXPECT_TRUE(WithEntryFirst(L"c:\\pkg\\driver", L"C:\\PKG\\DRIVER", result));
    EXPECT_EQ(DriverFolderEntry(L"C:\\Program Files\\Calmora\\"),
              L"C:\\PROGRAM FILES\\CALMORA\\DRIVER");
    EXPECT_EQ(DriverFolderEntry(L""), L"DRIVER");
}

TEST(SearchPathText, CutTakesOneSeparatorWithTheEntry) {
    const std::wstring x = L"C:\\PKG\\DRIVER";
    struct Case {
        std::wstring before, after;
    } cases[] = {
        {L"A;" + x + L";B", L"A;B"},
        {x + L";B", L"B"},
        {L"A;" + x, L"A"},
        {x, L""},
        {x + L";", L""},
        {L"A;" + x + L";B;C", L"A;B;C"},
    };
    for (const Case& c : cases) {
        std::wstring result = L"untouched";
        EXPECT_TRUE(WithEntryCut(c.before, L"C:\\PKG\\", result)) << c.before;
        EXPECT_EQ(result, c.after) << c.before;
    }
    std::wstring result = L"untouched";
    EXPECT_FALSE(WithEntryCut(L"A;B", L"C:\\PKG\\", result));
    EXPECT_FALSE(WithEntryCut(L"A;B", L"", result));
    EXPECT_EQ(result, L"untouched");
}

// Keeps the machine's search path and policy keys as they were before the test.
class SearchPathRegistry : public ::testing::Test {
protected:
    void SetUp() override {
        hadPolicies_ = MachineKeyExists(kPoliciesKey);
        SetSearchPath(L"%SystemRoot%\\inf");
    }
    void TearDown() override {
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, kSigningSettingsKey);
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Policies\\Microsoft\\Windows\\DeviceInstall");
        if (!hadPolicies_)
            RegDeleteKeyW(HKEY_LOCAL_MACHINE, kPoliciesKey);
    }
    static DWORD devicePathType() {
        HKEY raw = nullptr;
        DWORD type = 0;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kCurrentVersionKey, 0, KEY_QUERY_VALUE, &raw) ==
            ERROR_SUCCESS) {
            RegQueryValueExW(raw, kDevicePathValue, nullptr, &type, nullptr, nullptr);
            RegCloseKey(raw);
        }
        return type;
    }
    static std::wstring devicePath() {
        return ReadMachineString(kCurrentVersionKey, kDevicePathValue);
    }
    static DWORD allSigningEqual() {
        HKEY raw = nullptr;
        DWORD value = 0xFFFFFFFF;
        DWORD size = sizeof(value);
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSigningSettingsKey, 0, KEY_QUERY_VALUE, &raw) ==
            ERROR_SUCCESS) {
            RegQueryValueExW(raw, kAllSigningEqualValue, nullptr, nullptr,
                             reinterpret_cast<BYTE*>(&value), &size);
            RegCloseKey(raw);
        }
        return value;
    }
    static void makePolicies() {
        HKEY raw = nullptr;
        RegCreateKeyExW(HKEY_LOCAL_MACHINE, kPoliciesKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &raw, nullptr);
        RegCloseKey(raw);
    }

    SavedSearchPath savedPath_;
    bool hadPolicies_ = false;
};

TEST_F(SearchPathRegistry, InstallTwiceKeepsOneEntryAndUninstallRestoresThePath) {
    const std::wstring folder = L"C:\\Program Files\\Calmora\\Quenvora-K9\\";
    AddDriverFolderToSearchPath(folder);
    AddDriverFolderToSearchPath(folder);
    EXPECT_EQ(devicePath(), L"C:\\PROGRAM FILES\\CALMORA\\QUENVORA-K9\\DRIVER;%SystemRoot%\\inf");
    EXPECT_EQ(devicePathType(), static_cast<DWORD>(REG_EXPAND_SZ));
    RemoveDriverFolderFromSearchPath(folder);
    EXPECT_EQ(devicePath(), L"%SystemRoot%\\inf");
    // Nothing of ours left: nothing is written.
    RemoveDriverFolderFromSearchPath(folder);
    EXPECT_EQ(devicePath(), L"%SystemRoot%\\inf");
}

TEST_F(SearchPathRegistry, InstallKeepsThePathsTypeAndUninstallWritesExpandable) {
    SetSearchPath(L"C:\\A;C:\\B", REG_SZ);
    AddDriverFolderToSearchPath(L"C:\\Pkg\\");
    EXPECT_EQ(devicePath(), L"C:\\PKG\\DRIVER;C:\\A;C:\\B");
    EXPECT_EQ(devicePathType(), static_cast<DWORD>(REG_SZ));
    SetSearchPath(L"C:\\A;C:\\PKG\\DRIVER;C:\\B", REG_SZ);
    RemoveDriverFolderFromSearchPath(L"C:\\Pkg\\");
    EXPECT_EQ(devicePath(), L"C:\\A;C:\\B");
    EXPECT_EQ(devicePathType(), static_cast<DWORD>(REG_EXPAND_SZ));
}

TEST_F(SearchPathRegistry, AMissingOrForeignPathIsLeftAlone) {
    DeleteMachineValue(kCurrentVersionKey, kDevicePathValue);
    AddDriverFolderToSearchPath(L"C:\\Pkg\\");
    EXPECT_EQ(devicePath(), L"<missing>");
    // A value that is no text is not ours to rewrite.
    HKEY raw = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kCurrentVersionKey, 0, KEY_ALL_ACCESS, &raw),
              ERROR_SUCCESS);
    const DWORD number = 7;
    RegSetValueExW(raw, kDevicePathValue, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                   sizeof(number));
    RegCloseKey(raw);
    AddDriverFolderToSearchPath(L"C:\\Pkg\\");
    EXPECT_EQ(devicePathType(), static_cast<DWORD>(REG_DWORD));
}

TEST_F(SearchPathRegistry, SigningPolicyNeedsThePoliciesKeyAndUninstallNeedsTheSettings) {
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, kSigningSettingsKey);
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Policies\\Microsoft\\Windows\\DeviceInstall");
    if (!hadPolicies_) {
        SetSigningPolicy(true);
        EXPECT_FALSE(MachineKeyExists(kSigningSettingsKey));
    }
    SetSigningPolicy(false);
    EXPECT_FALSE(MachineKeyExists(kSigningSettingsKey));
    makePolicies();
    SetSigningPolicy(true);
    EXPECT_EQ(allSigningEqual(), 1u);
    SetSigningPolicy(false);
    EXPECT_EQ(allSigningEqual(), 0u);
}

} // namespace
