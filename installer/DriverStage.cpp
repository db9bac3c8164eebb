#include "DriverStage.h"

#include "DeviceScan.h"
#include "InstallerRun.h"
#include "SearchPath.h"
#include "SetupHandles.h"

#include "ports/DeviceSetup.h"

namespace {

// More matching devices than the table holds are removed in further passes; a device that will
// not go away is found again each time, so the passes are bounded.
constexpr int kMaxRemovalPasses = 8;
constexpr DWORD kQueueSettleMs = 1000;

// Not exported by the setup library of Windows 2000: looked up when needed.
void uninstallOemInf(const wchar_t* name) {
    using Fn = BOOL(WINAPI*)(const wchar_t*, DWORD, void*);
    HMODULE setupApi = GetModuleHandleA("setupapi.dll");
    auto fn = setupApi != nullptr ? reinterpret_cast<Fn>(reinterpret_cast<void*>(
                                        GetProcAddress(setupApi, "SetupUninstallOEMInfW")))
                                  : nullptr;
    if (fn != nullptr)
        fn(name, SUOI_FORCEDELETE, nullptr);
}

// The default handling, except that nothing may ask the user: a source file that is not where
// the INF says, or a file that fails, is skipped.
UINT CALLBACK silentQueueCallback(void* context, UINT notification, UINT_PTR param1,
                                  UINT_PTR param2) {
    switch (notification) {
    case SPFILENOTIFY_NEEDMEDIA: {
        const auto* media = reinterpret_cast<const SOURCE_MEDIA_W*>(param1);
        if (media == nullptr || media->SourcePath == nullptr || media->SourceFile == nullptr)
            return FILEOP_SKIP;
        const std::wstring source = std::wstring(media->SourcePath) + L"\\" + media->SourceFile;
        return GetFileAttributesW(source.c_str()) != INVALID_FILE_ATTRIBUTES ? FILEOP_DOIT
                                                                             : FILEOP_SKIP;
    }
    case SPFILENOTIFY_COPYERROR:
    case SPFILENOTIFY_DELETEERROR:
    case SPFILENOTIFY_RENAMEERROR:
        return FILEOP_SKIP;
    default:
        return SetupDefaultQueueCallbackW(context, notification, param1, param2);
    }
}

void removeKeptDevices(HDEVINFO devices, KeptDeviceTable& table) {
    for (size_t i = 0; i < table.count; ++i) {
        KeptDevice& kept = table.entries[i];
        SetupDiCallClassInstaller(DIF_REMOVE, devices, &kept.data);
        if (kept.infName[0] != L'\0')
            uninstallOemInf(kept.infName);
    }
}

// Returns false when the device list could not be had, which ends the stage.
bool removeMatchingDevices(const InstallerRun& run, const std::wstring& infFolder) {
    ScanRequest request;
    request.hardwareId = run.options.hardwareId;
    request.upperSection = UpperAscii(run.options.infSection);
    request.infFolder = infFolder;
    request.uninstall = run.options.uninstall;
    for (int pass = 0; pass < kMaxRemovalPasses; ++pass) {
        UniqueDeviceList devices(SetupDiGetClassDevsW(nullptr, L"USB", nullptr, DIGCF_ALLCLASSES));
        if (!devices)
            return pass > 0;
        KeptDeviceTable table;
        ScanDevices(devices.get(), request, table);
        removeKeptDevices(devices.get(), table);
        if (!table.overflowed)
            return true;
    }
    return true;
}

void preinstallInf(InstallerRun& run) {
    const wchar_t* infPath = run.options.infPath.c_str();
    UniqueInfFile inf(SetupOpenInfFileW(infPath, nullptr, INF_STYLE_WIN4, nullptr));
    if (inf) {
        UniqueFileQueue queue(SetupOpenFileQueue());
        if (queue) {
            SetupInstallFilesFromInfSectionW(inf.get(), nullptr, queue.get(),
                                             run.options.infSection.c_str(), nullptr,
                                             SP_COPY_FORCE_NEWER);
            UniqueQueueContext context(SetupInitDefaultQueueCallback(nullptr));
            if (context) {
                SetupCommitFileQueueW(nullptr, queue.get(), silentQueueCallback, context.get());
                run.shell.pause(kQueueSettleMs);
            }
        }
    }
    SetupCopyOEMInfW(infPath, nullptr, SPOST_PATH, 0, nullptr, 0, nullptr, nullptr);
}

bool preinstallsInf(WindowsVersionCode code) {
    return code == 6 || (code >= 8 && code <= 11);
}

void reenumerateDevices() {
    DeviceSetup& setup = deviceSetup();
    DEVINST root = 0;
    if (setup.locateDevNode(&root, nullptr, CM_LOCATE_DEVNODE_NORMAL) == CR_SUCCESS)
        setup.reenumerateDevNode(root, 0);
}

} // namespace

void RunDriverStage(InstallerRun& run) {
    if (!run.options.uninstall)
        AddDriverFolderToSearchPath(run.packageFolder);
    else if (run.hasPackageFolder())
        RemoveDriverFolderFromSearchPath(run.packageFolder);
    SetSigningPolicy(!run.options.uninstall);

    std::wstring infFolder;
    if (!WindowsInfFolder(infFolder))
        return;
    if (!removeMatchingDevices(run, infFolder))
        return;
    if (!run.options.uninstall && preinstallsInf(run.versionCode))
        preinstallInf(run);
    reenumerateDevices();
}
