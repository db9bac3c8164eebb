// Our certificate tool: adds a certificate file to a certificate store of the local machine.
//
// CertMgr.exe -add "<file>" -s -r localmachine root|trustedpublisher
//
// Exit code 0 when the certificate is in the store, otherwise one of the codes below. It never
// shows a window: the installer starts it through the shell.
#include <windows.h>
#include <shellapi.h>
#include <wincrypt.h>

#include "CertificateHandles.h"
#include "common/UniqueResource.h"

#include <cwchar>
#include <vector>

namespace {

enum ExitCode : int {
    kAdded = 0,
    kUsage = 1,
    kUnreadableFile = 2,
    kStoreNotOpened = 3,
    kNotAdded = 4,
};

// A certificate is a few kilobytes; anything far larger is not one.
constexpr DWORD kMaxCertificateBytes = 64 * 1024;

struct ArgvTraits {
    using Type = wchar_t**;
    static Type invalid() { return nullptr; }
    static bool isValid(Type p) { return p != nullptr; }
    static void close(Type p) { LocalFree(p); }
};

struct StoreName {
    const wchar_t* argument;
    const wchar_t* systemStore;
};
constexpr StoreName kStores[] = {
    {L"root", L"Root"},
    {L"trustedpublisher", L"TrustedPublisher"},
};

const wchar_t* systemStoreFor(const wchar_t* argument) {
    for (const StoreName& store : kStores) {
        if (std::wcscmp(store.argument, argument) == 0)
            return store.systemStore;
    }
    return nullptr;
}

bool readFile(const wchar_t* path, std::vector<BYTE>& data) {
    UniqueHandle file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return false;
    const DWORD size = GetFileSize(file.get(), nullptr);
    if (size == 0 || size == INVALID_FILE_SIZE || size > kMaxCertificateBytes)
        return false;
    data.resize(size);
    DWORD read = 0;
    return ReadFile(file.get(), data.data(), size, &read, nullptr) && read == size;
}

int addCertificate(const wchar_t* file, const wchar_t* systemStore) {
    std::vector<BYTE> data;
    if (!readFile(file, data))
        return kUnreadableFile;
    UniqueCertStore store(CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0,
                                        CERT_SYSTEM_STORE_LOCAL_MACHINE, systemStore));
    if (!store)
        return kStoreNotOpened;
    PCCERT_CONTEXT added = nullptr;
    if (!CertAddEncodedCertificateToStore(store.get(), X509_ASN_ENCODING | PKCS_7_ASN_ENCODING,
                                          data.data(), static_cast<DWORD>(data.size()),
                                          CERT_STORE_ADD_REPLACE_EXISTING, &added))
        return kNotAdded;
    UniqueCertContext context(added);
    return kAdded;
}

int run() {
    int count = 0;
    UniqueResource<ArgvTraits> argv(CommandLineToArgvW(GetCommandLineW(), &count));
    if (!argv || count != 7)
        return kUsage;
    wchar_t** a = argv.get();
    if (std::wcscmp(a[1], L"-add") != 0 || std::wcscmp(a[3], L"-s") != 0 ||
        std::wcscmp(a[4], L"-r") != 0 || std::wcscmp(a[5], L"localmachine") != 0)
        return kUsage;
    const wchar_t* systemStore = systemStoreFor(a[6]);
    if (systemStore == nullptr || a[2][0] == L'\0')
        return kUsage;
    return addCertificate(a[2], systemStore);
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    try {
        return run();
    } catch (...) {
        return kNotAdded;
    }
}
