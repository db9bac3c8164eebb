// Writes and removes the registry and profile entries through which hosts find the driver.
#include "Registration.h"

#include "DriverIdentity.h"
#include "common/UniqueResource.h"

#include <objbase.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr DWORD kTextBytes = 360;
constexpr int kClassIdBytes = 100;
constexpr char kClassesKey[] = "CLSID";
constexpr char kServerKey[] = "InprocServer32";
constexpr char kSoftwareKey[] = "SOFTWARE";
constexpr char kAsioKey[] = "SOFTWARE\\ASIO";
constexpr char kThreadingModel[] = "Apartment";
constexpr char kPathSection[] = "ClmrASIO";
// The profile is one file for both bitnesses: "ASIOPATH" stays the 32-bit driver's path, and the
// 64-bit driver keeps its own under a key of its own.
#ifdef _WIN64
constexpr char kPathKey[] = "ASIOPATH64";
#else
constexpr char kPathKey[] = "ASIOPATH";
#endif

// Subkey names met while walking a tree; one buffer for the whole process.
char subkeyName[kTextBytes];

struct TaskMemoryTraits {
    using Type = LPOLESTR;
    static Type invalid() { return nullptr; }
    static bool isValid(Type p) { return p != nullptr; }
    static void close(Type p) { CoTaskMemFree(p); }
};

struct DriverIdentityText {
    char modulePath[kTextBytes]; // lower case
    char classId[kClassIdBytes];
};

int describeDriver(DriverIdentityText& out) {
    HMODULE module = GetModuleHandleA(kDriverModuleName);
    if (module == nullptr)
        return kRegistrationNoModule;
    // A path that fills the buffer was cut short; registering it would point hosts nowhere.
    const DWORD length = GetModuleFileNameA(module, out.modulePath, kTextBytes);
    if (length == 0 || length >= kTextBytes)
        return kRegistrationNoPath;
    out.modulePath[length] = '\0';
    CharLowerBuffA(out.modulePath, length);

    LPOLESTR wide = nullptr;
    if (FAILED(StringFromCLSID(CLSID_QvK9Asio, &wide)))
        return kRegistrationNoClassText;
    UniqueResource<TaskMemoryTraits> wideOwner(wide);
    if (WideCharToMultiByte(CP_ACP, 0, wide, -1, out.classId, kClassIdBytes, nullptr, nullptr) == 0)
        return kRegistrationNoAnsiClassId;
    return kRegistrationDone;
}

UniqueRegKey openKey(HKEY root, const char* path, REGSAM access) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path, 0, access, &key) != ERROR_SUCCESS)
        return UniqueRegKey();
    return UniqueRegKey(key);
}

bool keyExists(HKEY root, const char* path) {
    return openKey(root, path, KEY_READ).valid();
}

void createKey(HKEY root, const char* parentPath, const char* child) {
    UniqueRegKey parent = openKey(root, parentPath, KEY_CREATE_SUB_KEY);
    if (!parent)
        return;
    HKEY key = nullptr;
    if (RegCreateKeyExA(parent.get(), child, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE,
                        nullptr, &key, nullptr) == ERROR_SUCCESS)
        RegCloseKey(key);
}

// Written with the terminating zero, so that readers which trust REG_SZ get a terminated
// string; readers that take the exact length still see the same text.
void writeString(HKEY root, const char* path, const char* name, const char* text) {
    UniqueRegKey key = openKey(root, path, KEY_SET_VALUE);
    if (!key)
        return;
    RegSetValueExA(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                   static_cast<DWORD>(std::strlen(text) + 1));
}

// The server path a registration left behind, lower-cased; false when there is none to read.
bool readServerPath(const std::string& serverKey, char (&path)[kTextBytes]) {
    UniqueRegKey key = openKey(HKEY_CLASSES_ROOT, serverKey.c_str(), KEY_QUERY_VALUE);
    if (!key)
        return false;
    DWORD type = 0;
    DWORD size = kTextBytes - 1;
    if (RegQueryValueExA(key.get(), nullptr, nullptr, &type, reinterpret_cast<BYTE*>(path),
                         &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ))
        return false;
    path[size] = '\0';
    CharLowerBuffA(path, static_cast<DWORD>(std::strlen(path)));
    return true;
}

struct DoomedKey {
    HKEY parent;
    UniqueRegKey key;
    std::string name;
};

// Appends the key's subtrees, then the key itself: every key comes after all of its subkeys.
void collectTree(HKEY parent, const char* name, std::vector<DoomedKey>& order) {
    UniqueRegKey key = openKey(parent, name, KEY_ALL_ACCESS);
    if (!key)
        return;
    for (DWORD index = 0;; ++index) {
        DWORD length = kTextBytes;
        const LONG status = RegEnumKeyExA(key.get(), index, subkeyName, &length, nullptr, nullptr,
                                          nullptr, nullptr);
        if (status == ERROR_MORE_DATA)
            continue;
        if (status != ERROR_SUCCESS)
            break;
        const std::string child(subkeyName, length);
        collectTree(key.get(), child.c_str(), order);
    }
    order.push_back(DoomedKey{parent, std::move(key), name});
}

std::string classKeyPath(const DriverIdentityText& ids) {
    return std::string(kClassesKey) + "\\" + ids.classId;
}

std::string driverKeyPath() {
    return std::string(kAsioKey) + "\\" + kDriverName;
}

} // namespace

int deleteKeyTree(HKEY root, const char* parentPath, const char* keyName) {
    try {
        UniqueRegKey parent = openKey(root, parentPath, KEY_READ);
        if (!parent)
            return -1;
        std::vector<DoomedKey> order;
        collectTree(parent.get(), keyName, order);
        bool deletedAny = false;
        for (DoomedKey& doomed : order) {
            doomed.key.reset();
            if (RegDeleteKeyA(doomed.parent, doomed.name.c_str()) == ERROR_SUCCESS)
                deletedAny = true;
        }
        return deletedAny ? 0 : -1;
    } catch (...) {
        // Out of memory while collecting: nothing was deleted, every key is closed.
        return -1;
    }
}

int registerDriver() {
    DriverIdentityText ids;
    if (const int result = describeDriver(ids); result != kRegistrationDone)
        return result;
    const std::string classKey = classKeyPath(ids);
    const std::string serverKey = classKey + "\\" + kServerKey;

    // The same server path keeps the class entry as it is; any other path replaces it whole.
    bool keepClass = false;
    if (keyExists(HKEY_CLASSES_ROOT, classKey.c_str())) {
        char stored[kTextBytes];
        keepClass = readServerPath(serverKey, stored) && std::strcmp(stored, ids.modulePath) == 0;
        if (!keepClass)
            deleteKeyTree(HKEY_CLASSES_ROOT, kClassesKey, ids.classId);
    }
    if (!keepClass) {
        createKey(HKEY_CLASSES_ROOT, kClassesKey, ids.classId);
        writeString(HKEY_CLASSES_ROOT, classKey.c_str(), nullptr, kDriverName);
        createKey(HKEY_CLASSES_ROOT, classKey.c_str(), kServerKey);
        writeString(HKEY_CLASSES_ROOT, serverKey.c_str(), nullptr, ids.modulePath);
        WriteProfileStringA(kPathSection, kPathKey, ids.modulePath);
        writeString(HKEY_CLASSES_ROOT, serverKey.c_str(), "ThreadingModel", kThreadingModel);
    }

    const std::string driverKey = driverKeyPath();
    if (keyExists(HKEY_LOCAL_MACHINE, kAsioKey)) {
        if (keyExists(HKEY_LOCAL_MACHINE, driverKey.c_str()))
            deleteKeyTree(HKEY_LOCAL_MACHINE, kAsioKey, kDriverName);
    } else {
        createKey(HKEY_LOCAL_MACHINE, kSoftwareKey, "ASIO");
    }
    createKey(HKEY_LOCAL_MACHINE, kAsioKey, kDriverName);
    writeString(HKEY_LOCAL_MACHINE, driverKey.c_str(), "CLSID", ids.classId);
    writeString(HKEY_LOCAL_MACHINE, driverKey.c_str(), "Description", kDriverName);
    return kRegistrationDone;
}

int unregisterDriver() {
    DriverIdentityText ids;
    if (const int result = describeDriver(ids); result != kRegistrationDone)
        return result;
    // Only the registry entries go; the profile path is kept.
    if (keyExists(HKEY_CLASSES_ROOT, classKeyPath(ids).c_str()))
        deleteKeyTree(HKEY_CLASSES_ROOT, kClassesKey, ids.classId);
    if (keyExists(HKEY_LOCAL_MACHINE, kAsioKey) &&
        keyExists(HKEY_LOCAL_MACHINE, driverKeyPath().c_str()))
        deleteKeyTree(HKEY_LOCAL_MACHINE, kAsioKey, kDriverName);
    return kRegistrationDone;
}
