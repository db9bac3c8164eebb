// The maker's certificate goes into the local machine's root and trusted-publisher stores through
// our certificate tool; both files are written from the installer's own resources.
#include "FinishingSteps.h"
#include "InstallerResources.h"
#include "InstallerRun.h"
#include "LaunchTool.h"

#include "common/UniqueResource.h"
#include "tools/certmgr/CertificateHandles.h"

namespace {

constexpr DWORD kToolSpacingMs = 2000;
constexpr const wchar_t* kMachineStores[] = {L"Root", L"TrustedPublisher"};

struct Resource {
    const BYTE* data = nullptr;
    DWORD size = 0;
};

Resource findResource(int id) {
    HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(10)); // RT_RCDATA
    HGLOBAL loaded = found != nullptr ? LoadResource(nullptr, found) : nullptr;
    const void* image = loaded != nullptr ? LockResource(loaded) : nullptr;
    Resource resource;
    if (image != nullptr) {
        resource.data = static_cast<const BYTE*>(image);
        resource.size = SizeofResource(nullptr, found);
    }
    return resource;
}

// Writes resource `id` of the running program to `path`; false when nothing was written whole.
// The path stays UTF-16: a folder name outside the ANSI code page is written to like any other.
bool writeResource(int id, const std::wstring& path) {
    const Resource resource = findResource(id);
    if (resource.data == nullptr || resource.size == 0)
        return false;
    UniqueHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return false;
    DWORD written = 0;
    return WriteFile(file.get(), resource.data, resource.size, &written, nullptr) &&
           written == resource.size;
}

void runTool(InstallerRun& run, const wchar_t* store) {
    const std::wstring tool = run.packageFile(kCertificateTool);
    const std::wstring parameters =
        L"-add \"" + run.packageFile(kCertificateFile) + L"\" -s -r localmachine " + store;
    LaunchedTool started = LaunchTool(run.shell, run.versionCode, tool.c_str(), parameters.c_str());
    if (!WaitUntilToolEnds(started))
        OutputDebugStringA("QvK9InstAsst: the certificate tool did not run to its end\n");
    run.shell.pause(kToolSpacingMs);
}

// Whether both machine stores hold the certificate the installer carries: whatever the tool
// said, this is what the driver package's signature needs.
bool machineStoresHoldCertificate() {
    const Resource certificate = findResource(IDR_CERTIFICATE);
    if (certificate.data == nullptr)
        return false;
    UniqueCertContext carried(CertCreateCertificateContext(X509_ASN_ENCODING | PKCS_7_ASN_ENCODING,
                                                           certificate.data, certificate.size));
    if (!carried)
        return false;
    for (const wchar_t* name : kMachineStores) {
        UniqueCertStore store(CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0,
                                            CERT_SYSTEM_STORE_LOCAL_MACHINE |
                                                CERT_STORE_READONLY_FLAG |
                                                CERT_STORE_OPEN_EXISTING_FLAG,
                                            name));
        if (!store)
            return false;
        UniqueCertContext held(
            CertFindCertificateInStore(store.get(), X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, 0,
                                       CERT_FIND_EXISTING, carried.get(), nullptr));
        if (!held)
            return false;
    }
    return true;
}

} // namespace

void InstallCertificates(InstallerRun& run) {
    writeResource(IDR_CERTIFICATE_TOOL, run.packageFile(kCertificateTool));
    if (writeResource(IDR_CERTIFICATE, run.packageFile(kCertificateFile)))
        run.shell.pause(kToolSpacingMs);
    // Both runs go ahead even when a file could not be written: an older copy may be there.
    runTool(run, L"root");
    runTool(run, L"trustedpublisher");
    if (!machineStoresHoldCertificate())
        run.fail(kFailedCertificates);
}
