#include "CertificateStores.h"

#include "InstallerMachine.h"

#include "common/UniqueResource.h"
#include "tools/certmgr/CertificateHandles.h"
#include "support/TestProcess.h"

#include <wincrypt.h>

namespace {

UniqueCertStore openStore(const wchar_t* store) {
    return UniqueCertStore(
        CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, store));
}

// The store's copy of `certificate`, found by its whole encoding.
PCCERT_CONTEXT findIn(HCERTSTORE store, const std::vector<BYTE>& certificate) {
    UniqueCertContext wanted(CertCreateCertificateContext(X509_ASN_ENCODING, certificate.data(),
                                                          static_cast<DWORD>(certificate.size())));
    if (!wanted)
        return nullptr;
    return CertFindCertificateInStore(store, X509_ASN_ENCODING, 0, CERT_FIND_EXISTING, wanted.get(),
                                      nullptr);
}

} // namespace

std::vector<BYTE> ReadWholeFile(const std::wstring& path) {
    std::vector<BYTE> data;
    UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
    if (!file)
        return data;
    const DWORD size = GetFileSize(file.get(), nullptr);
    if (size == INVALID_FILE_SIZE)
        return data;
    data.resize(size);
    DWORD read = 0;
    if (!ReadFile(file.get(), data.data(), size, &read, nullptr) || read != size)
        data.clear();
    return data;
}

bool MachineStoreHolds(const wchar_t* storeName, const std::vector<BYTE>& certificate) {
    UniqueCertStore store = openStore(storeName);
    if (!store)
        return false;
    UniqueCertContext found(findIn(store.get(), certificate));
    return found.valid();
}

void RemoveFromMachineStore(const wchar_t* storeName, const std::vector<BYTE>& certificate) {
    UniqueCertStore store = openStore(storeName);
    if (!store)
        return;
    // Deleting frees the context, found or not.
    if (PCCERT_CONTEXT found = findIn(store.get(), certificate))
        CertDeleteCertificateFromStore(found);
    // Wine reports the deletion but keeps the copy in the registry, where the system stores of
    // the local machine live: take it out there too, by its thumbprint.
    UniqueCertContext parsed(CertCreateCertificateContext(X509_ASN_ENCODING, certificate.data(),
                                                          static_cast<DWORD>(certificate.size())));
    BYTE hash[20] = {};
    DWORD size = sizeof(hash);
    if (!parsed ||
        !CertGetCertificateContextProperty(parsed.get(), CERT_SHA1_HASH_PROP_ID, hash, &size))
        return;
    std::wstring key = std::wstring(L"Software\\Microsoft\\SystemCertificates\\") + storeName +
                       L"\\Certificates\\";
    for (DWORD i = 0; i < size; ++i) {
        wchar_t digits[3];
        wsprintfW(digits, L"%02X", hash[i]);
        key += digits;
    }
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, key.c_str());
}

std::wstring BuiltCertificatePath() {
    return Widen(testProgramFolder()) + L"..\\generated\\Calmora.cer";
}
