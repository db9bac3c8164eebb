// The package's Driver folder in the INF search path and the signing policy, against the real
// registry; the keys are made as a Windows installation has them and put back afterwards.
#include "InstallerMachine.h"

#include "common/UniqueResource.h"
#include "installer/SearchPath.h"

#include <gtest/gtest.h>

namespace {

TEST(SearchPathText, EntryGoesFirstOnceWhateverTheCaseOfACopyAlreadyThere) {
    std::wstring result;
    EXPECT_TRUE(WithEntryFirst(L"%SystemRoot%\\inf", L"C:\\PKG\\DRIVER", result));
    EXPECT_EQ(result, L"C:\\PKG\\DRIVER;%SystemRoot%\\inf");
    EXPECT_FALSE(WithEntryFirst(result, L"C:\\PKG\\DRIVER", result));
    // Folder names are the same folder in any case: no second copy.
    result = L"untouched";
    EXPECT_FALSE(WithEntryFirst(L"A;c:\\pkg\\driver;B", L"C:\\PKG\\DRIVER", result));
    EXPECT_EQ(result, L"untouched");
    // A folder whose name only begins or ends with ours is another folder.
    for (const wchar_t* other : {L"C:\\PKG\\DRIVERS2", L"D:\\OLD\\C:\\PKG\\DRIVER"}) {
        EXPECT_TRUE(WithEntryFirst(other, L"C:\\PKG\\DRIVER", result)) << other;
        EXPECT_EQ(result, std::wstring(L"C:\\PKG\\DRIVER;") + other);
    }
    EXPECT_EQ(DriverFolderEntry(L"C:\\Program Files\\Calmora\\"),
              L"C:\\PROGRAM FILES\\CALMORA\\DRIVER");
    EXPECT_EQ(DriverFolderEntry(L""), L"DRIVER");
}

TEST(SearchPathText, CutTakesOurWholeEntryWithOneSeparatorAndNothingElse) {
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
        {L"A;c:\\pkg\\driver;B", L"A;B"},
        // Another product's folders inside ours or beside it stay, wherever they stand.
        {L"C:\\PKG\\OTHER\\DRIVERS;" + x + L";C:\\PKG\\DRIVERS2",
         L"C:\\PKG\\OTHER\\DRIVERS;C:\\PKG\\DRIVERS2"},
        // Copies an earlier install left in other letter cases all go.
        {x + L";A;c:\\Pkg\\Driver", L"A"},
    };
    for (const Case& c : cases) {
        std::wstring result = L"untouched";
        EXPECT_TRUE(WithEntryCut(c.before, x, result)) << c.before;
        EXPECT_EQ(result, c.after) << c.before;
    }
    std::wstring result = L"untouched";
    EXPECT_FALSE(WithEntryCut(L"A;B", x, result));
    EXPECT_FALSE(WithEntryCut(L"C:\\PKG\\OTHER\\DRIVERS;C:\\PKG\\DRIVERS2", x, result));
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

TEST_F(SearchPathRegistry, AnotherProductsFoldersUnderOurFolderSurviveInstallAndUninstall) {
    const std::wstring folder = L"C:\\Program Files\\Calmora\\";
    const std::wstring other =
        L"%SystemRoot%\\inf;C:\\PROGRAM FILES\\CALMORA\\OTHERPRODUCT\\DRIVERS;"
        L"C:\\PROGRAM FILES\\CALMORA\\DRIVERS2";
    SetSearchPath(other);
    EXPECT_TRUE(AddDriverFolderToSearchPath(folder));
    EXPECT_EQ(devicePath(), L"C:\\PROGRAM FILES\\CALMORA\\DRIVER;" + other);
    EXPECT_TRUE(RemoveDriverFolderFromSearchPath(folder));
    EXPECT_EQ(devicePath(), other);
    // Our entry as someone wrote it in lower case is ours: kept once, taken out on uninstall.
    SetSearchPath(L"c:\\program files\\calmora\\driver;" + other);
    EXPECT_TRUE(AddDriverFolderToSearchPath(folder));
    EXPECT_EQ(devicePath(), L"c:\\program files\\calmora\\driver;" + other);
    EXPECT_TRUE(RemoveDriverFolderFromSearchPath(folder));
    EXPECT_EQ(devicePath(), other);
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
    // No value is made for us; uninstall finds nothing of ours to take out.
    EXPECT_TRUE(AddDriverFolderToSearchPath(L"C:\\Pkg\\"));
    EXPECT_TRUE(RemoveDriverFolderFromSearchPath(L"C:\\Pkg\\"));
    EXPECT_EQ(devicePath(), L"<missing>");
    // A value that is no text is not ours to rewrite.
    HKEY raw = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kCurrentVersionKey, 0, KEY_ALL_ACCESS, &raw),
              ERROR_SUCCESS);
    const DWORD number = 7;
    RegSetValueExW(raw, kDevicePathValue, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                   sizeof(number));
    RegCloseKey(raw);
    EXPECT_FALSE(AddDriverFolderToSearchPath(L"C:\\Pkg\\"));
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
