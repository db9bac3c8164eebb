// Self-registration through the system's registration tool, read back from the registry and the
// profile; the failure box of a module loaded under a foreign name; creation by class id.
#include "asio/AsioInterface.h"
#include "asio/DriverIdentity.h"
#include "support/MessageBoxWatcher.h"
#include "support/RegisteredDriver.h"
#include "support/TestProcess.h"

#include <gtest/gtest.h>

#include <objbase.h>

#include <string>

namespace {

const char kName[] = "Quenvora-K9 USB Audio ASIO";
const char kClassId[] = "{58527022-702F-47D6-B9F4-97556F3FF061}";
const std::string kClassKey = std::string("CLSID\\") + kClassId;
const std::string kServerKey = kClassKey + "\\InprocServer32";
const std::string kDriverKey = std::string("SOFTWARE\\ASIO\\") + kName;
const char kChildMarker[] = "QVK9_REGISTRATION_CHILD";
// The profile is one file for both bitnesses: "ASIOPATH" is the 32-bit driver's path.
#ifdef _WIN64
const char kProfilePathKey[] = "ASIOPATH64";
#else
const char kProfilePathKey[] = "ASIOPATH";
#endif

std::string fullPath(const std::string& path) {
    char full[MAX_PATH] = {};
    GetFullPathNameA(path.c_str(), MAX_PATH, full, nullptr);
    return full;
}

std::string lower(std::string text) {
    CharLowerBuffA(text.data(), static_cast<DWORD>(text.size()));
    return text;
}

bool keyExists(HKEY root, const std::string& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

// A REG_SZ value byte for byte as stored; "<missing>" when absent or of another type.
std::string storedString(HKEY root, const std::string& path, const char* name) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return "<missing>";
    char data[512] = {};
    DWORD size = sizeof data;
    DWORD type = 0;
    const LONG status =
        RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS || type != REG_SZ)
        return "<missing>";
    return std::string(data, size);
}

std::string terminated(const std::string& text) {
    return text + '\0';
}

void putMarker(HKEY root, const std::string& path) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(root, (path + "\\Marker\\Deeper").c_str(), 0, nullptr, 0, KEY_WRITE,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
    ASSERT_EQ(RegSetKeyValueA(root, path.c_str(), "Marker", REG_SZ, "x", 2), ERROR_SUCCESS);
}

bool hasMarker(HKEY root, const std::string& path) {
    return keyExists(root, path + "\\Marker\\Deeper") &&
           storedString(root, path, "Marker") != "<missing>";
}

std::string profilePath() {
    char path[512] = {};
    GetProfileStringA("ClmrASIO", kProfilePathKey, "<missing>", path, sizeof path);
    return path;
}

void removeRegistration() {
    RegDeleteTreeA(HKEY_CLASSES_ROOT, kClassKey.c_str());
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, kDriverKey.c_str());
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\ASIO"); // only goes when empty
    WriteProfileStringA("ClmrASIO", nullptr, nullptr);
}

class Registration : public ::testing::Test {
protected:
    void SetUp() override { removeRegistration(); }
    void TearDown() override {
        removeRegistration();
        EXPECT_TRUE(boxes.texts().empty()) << "unexpected box: " << boxes.texts().front();
    }

    void expectRegisteredAt(const std::string& dll) {
        EXPECT_EQ(storedString(HKEY_CLASSES_ROOT, kClassKey, nullptr), terminated(kName));
        EXPECT_EQ(storedString(HKEY_CLASSES_ROOT, kServerKey, nullptr), terminated(lower(dll)));
        EXPECT_EQ(storedString(HKEY_CLASSES_ROOT, kServerKey, "ThreadingModel"),
                  terminated("Apartment"));
        EXPECT_EQ(storedString(HKEY_LOCAL_MACHINE, kDriverKey, "CLSID"), terminated(kClassId));
        EXPECT_EQ(storedString(HKEY_LOCAL_MACHINE, kDriverKey, "Description"), terminated(kName));
        EXPECT_EQ(profilePath(), lower(dll));
    }

    const std::string shipped = fullPath(shippedDriverPath());
    MessageBoxWatcher boxes{kName};
};

TEST_F(Registration, WritesTheLayoutAndUnregisteringLeavesOnlyTheProfilePath) {
    ASSERT_TRUE(registerDriver(shipped));
    expectRegisteredAt(shipped);

    // Unregistration takes whole trees, however deep.
    putMarker(HKEY_CLASSES_ROOT, kClassKey);
    putMarker(HKEY_LOCAL_MACHINE, kDriverKey);
    ASSERT_TRUE(unregisterDriver(shipped));
    EXPECT_FALSE(keyExists(HKEY_CLASSES_ROOT, kClassKey));
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, kDriverKey));
    EXPECT_TRUE(keyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\ASIO"));
    EXPECT_EQ(profilePath(), lower(shipped));

    // Nothing left to remove is not a failure.
    EXPECT_TRUE(unregisterDriver(shipped));
}

TEST_F(Registration, SamePathKeepsTheClassKeyAndRenewsTheAsioEntry) {
    ASSERT_TRUE(registerDriver(shipped));
    putMarker(HKEY_CLASSES_ROOT, kClassKey);
    putMarker(HKEY_LOCAL_MACHINE, kDriverKey);
    RegSetKeyValueA(HKEY_LOCAL_MACHINE, kDriverKey.c_str(), "Description", REG_SZ, "old", 4);

    ASSERT_TRUE(registerDriver(shipped));
    EXPECT_TRUE(hasMarker(HKEY_CLASSES_ROOT, kClassKey));
    EXPECT_FALSE(hasMarker(HKEY_LOCAL_MACHINE, kDriverKey));
    expectRegisteredAt(shipped);

    // Letter case is not a different path: neither in the stored value nor in the one loaded.
    std::string upper = shipped;
    CharUpperBuffA(upper.data(), static_cast<DWORD>(upper.size()));
    ASSERT_EQ(RegSetKeyValueA(HKEY_CLASSES_ROOT, kServerKey.c_str(), nullptr, REG_SZ, upper.c_str(),
                              static_cast<DWORD>(upper.size() + 1)),
              ERROR_SUCCESS);
    ASSERT_TRUE(registerDriver(upper));
    EXPECT_TRUE(hasMarker(HKEY_CLASSES_ROOT, kClassKey));
    EXPECT_EQ(storedString(HKEY_CLASSES_ROOT, kServerKey, nullptr), terminated(upper));
}

TEST_F(Registration, AnotherPathReplacesTheWholeClassKey) {
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    const std::string folder = fullPath(std::string(temp) + "QvK9 Moved Driver");
    const std::string moved = folder + "\\" + kDriverModuleName;
    CreateDirectoryA(folder.c_str(), nullptr);
    ASSERT_TRUE(CopyFileA(shipped.c_str(), moved.c_str(), FALSE));

    ASSERT_TRUE(registerDriver(shipped));
    putMarker(HKEY_CLASSES_ROOT, kClassKey);
    EXPECT_TRUE(registerDriver(moved));
    EXPECT_FALSE(hasMarker(HKEY_CLASSES_ROOT, kClassKey));
    expectRegisteredAt(moved);

    DeleteFileA(moved.c_str());
    RemoveDirectoryA(folder.c_str());
}

TEST_F(Registration, CreatingTheRegisteredDriverByClassIdGivesIasio) {
    const std::string sim = fullPath(simDriverPath());
    ASSERT_TRUE(registerDriver(sim));
    ComApartment com;
    IASIO* driver = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_QvK9Asio, nullptr, CLSCTX_INPROC_SERVER, CLSID_QvK9Asio,
                               reinterpret_cast<void**>(&driver)),
              S_OK);
    char name[64] = {};
    driver->getDriverName(name);
    EXPECT_STREQ(name, kName);
    EXPECT_EQ(driver->Release(), 0u);
}

#ifdef _WIN64
// The 32-bit registry view, where the 32-bit driver's registration lives on 64-bit Windows.
const std::string kViewClassKey = "Software\\Classes\\" + kClassKey;
const std::string kViewServerKey = kViewClassKey + "\\InprocServer32";
const char kOtherDriver[] = "c:\\program files\\calmora\\qvk9asio.dll";

void writeIn32BitView(const std::string& path, const char* name, const std::string& text) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0,
                              KEY_WRITE | KEY_WOW64_32KEY, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>(text.size() + 1));
    RegCloseKey(key);
}

std::string readIn32BitView(const std::string& path, const char* name) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_QUERY_VALUE | KEY_WOW64_32KEY,
                      &key) != ERROR_SUCCESS)
        return "<missing>";
    char data[512] = {};
    DWORD size = sizeof data - 1;
    const LONG status =
        RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(data), &size);
    RegCloseKey(key);
    return status == ERROR_SUCCESS ? data : "<missing>";
}

void removeFrom32BitView() {
    for (const std::string& path : {kViewServerKey, kViewClassKey, kDriverKey})
        RegDeleteKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), KEY_WOW64_32KEY, 0);
}

// On 64-bit Windows the 32-bit driver's registration, as it wrote it into its own view, and its
// profile path stay through the 64-bit driver's registration and its removal.
TEST_F(Registration, The32BitDriversRegistrationInItsOwnViewStays) {
    removeFrom32BitView();
    writeIn32BitView(kViewClassKey, nullptr, kName);
    writeIn32BitView(kViewServerKey, nullptr, kOtherDriver);
    writeIn32BitView(kDriverKey, "CLSID", kClassId);
    writeIn32BitView(kDriverKey, "Description", kName);
    WriteProfileStringA("ClmrASIO", "ASIOPATH", kOtherDriver);
    const auto expect32BitSideKept = [&] {
        EXPECT_EQ(readIn32BitView(kViewClassKey, nullptr), kName);
        EXPECT_EQ(readIn32BitView(kViewServerKey, nullptr), kOtherDriver);
        EXPECT_EQ(readIn32BitView(kDriverKey, "CLSID"), kClassId);
        EXPECT_EQ(readIn32BitView(kDriverKey, "Description"), kName);
        char path[512] = {};
        GetProfileStringA("ClmrASIO", "ASIOPATH", "<missing>", path, sizeof path);
        EXPECT_STREQ(path, kOtherDriver);
    };

    ASSERT_TRUE(registerDriver(shipped));
    expectRegisteredAt(shipped);
    expect32BitSideKept();
    ASSERT_TRUE(unregisterDriver(shipped));
    EXPECT_FALSE(keyExists(HKEY_CLASSES_ROOT, kClassKey));
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, kDriverKey));
    expect32BitSideKept();
    removeFrom32BitView();
}
#endif

// GetModuleHandle finds any module of the driver's name, so this runs in a process of its own
// where no such module is loaded.
TEST(RegistrationFailure, ForeignModuleNameShowsTheBoxAndFails) {
    if (GetEnvironmentVariableA(kChildMarker, nullptr, 0) == 0) {
        char exe[MAX_PATH] = {};
        GetModuleFileNameA(nullptr, exe, MAX_PATH);
        SetEnvironmentVariableA(kChildMarker, "1");
        DWORD code = 1;
        const bool ran = runAndWait(
            std::string("\"") + exe + "\" --gtest_filter=RegistrationFailure.*", 60000, &code);
        SetEnvironmentVariableA(kChildMarker, nullptr);
        EXPECT_TRUE(ran && code == 0);
        return;
    }

    ASSERT_EQ(GetModuleHandleA(kDriverModuleName), nullptr);
    removeRegistration();
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    const std::string renamed = std::string(temp) + "QvK9Renamed.dll";
    ASSERT_TRUE(CopyFileA(shippedDriverPath().c_str(), renamed.c_str(), FALSE));
    HMODULE module = LoadLibraryA(renamed.c_str());
    ASSERT_NE(module, nullptr);
    using Entry = HRESULT(STDAPICALLTYPE*)();
    const auto entry = [&](const char* name) {
        return reinterpret_cast<Entry>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
    };

    MessageBoxWatcher boxes(kName);
    EXPECT_EQ(entry("DllRegisterServer")(), static_cast<HRESULT>(0xFFFFFFFF));
    EXPECT_EQ(boxes.waitFor(1, 5000), std::vector<std::string>{"Register Server failed ! (-101)"});
    EXPECT_FALSE(keyExists(HKEY_CLASSES_ROOT, kClassKey));
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, kDriverKey));

    EXPECT_EQ(entry("DllUnregisterServer")(), static_cast<HRESULT>(0xFFFFFFFF));
    EXPECT_EQ(boxes.waitFor(2, 5000),
              (std::vector<std::string>{"Register Server failed ! (-101)",
                                        "Unregister Server failed ! (-101)"}));

    FreeLibrary(module);
    DeleteFileA(renamed.c_str());
}

} // namespace
