#include "DriverStage.h"

#include "DeviceScan.h"
#include "InfPreinstall.h"
#include "InstallerRun.h"
#include "SearchPath.h"
#include "SetupHandles.h"
#include "StagedPackage.h"

#include "ports/DeviceSetup.h"

namespace {

// More matching devices than the table holds are removed in further passes; a device that will
// not go away is found again each time, so the passes are bounded.
constexpr int kMaxRemovalPasses = 8;

struct Removal {
    bool listed = false;  // the device list could be had; without it the stage ends
    bool complete = true; // every matching device went
    // The package's INF copies the removed devices named. They go only after the last device:
    // devices of a later pass are recognised as the package's by reading them.
    std::vector<std::wstring> infNames;
};

void removeKeptDevices(HDEVINFO devices, KeptDeviceTable& table, Removal& removal) {
    for (size_t i = 0; i < table.count; ++i) {
        KeptDevice& kept = table.entries[i];
        if (!SetupDiCallClassInstaller(DIF_REMOVE, devices, &kept.data))
            removal.complete = false;
        if (kept.infName[0] != L'\0')
            AddOnce(removal.infNames, kept.infName);
    }
}

Removal removeMatchingDevices(const InstallerRun& run, const std::wstring& infFolder) {
    ScanRequest request;
    request.hardwareId = run.options.hardwareId;
    request.upperSection = UpperAscii(run.options.infSection);
    request.infFolder = infFolder;
    request.uninstall = run.options.uninstall;
    Removal removal;
    for (int pass = 0; pass < kMaxRemovalPasses; ++pass) {
        UniqueDeviceList devices(SetupDiGetClassDevsW(nullptr, L"USB", nullptr, DIGCF_ALLCLASSES));
        if (!devices) {
            removal.complete = removal.complete && pass > 0;
            return removal;
        }
        removal.listed = true;
        KeptDeviceTable table;
        ScanDevices(devices.get(), request, table);
        removeKeptDevices(devices.get(), table, removal);
        if (!table.overflowed)
            return removal;
    }
    removal.complete = false;
    return removal;
}

// Uninstall: what earlier installs staged and recorded joins what the devices named. A recorded
// copy whose file no longer holds the package's section is another package's by now and stays.
void addStagedInfs(const InstallerRun& run, const std::wstring& infFolder,
                   const StagedPackage& staged, std::vector<std::wstring>& infNames) {
    const std::wstring section = UpperAscii(run.options.infSection);
    for (const std::wstring& name : staged.infNames) {
        if (InfHoldsSection(infFolder + name, section))
            AddOnce(infNames, name);
    }
}

bool uninstallInfs(const std::vector<std::wstring>& infNames) {
    bool all = true;
    for (const std::wstring& name : infNames)
        all = UninstallOemInf(name) && all;
    return all;
}

bool removeCreatedFiles(const StagedPackage& staged) {
    bool all = true;
    for (const std::wstring& path : staged.createdFiles)
        all = DeleteCreatedFile(path) && all;
    return all;
}

bool preinstallsInf(WindowsVersionCode code) {
    return code == 6 || (code >= 8 && code <= 11);
}

// Install: the pre-install, with what it staged added to the record.
bool preinstall(InstallerRun& run) {
    StagedPackage staged;
    const bool copied = PreinstallInf(run, staged);
    // Without the package folder there is no package key to keep the record in.
    const bool recorded = !run.hasPackageFolder() || RecordStagedPackage(staged);
    return copied && recorded;
}

void reenumerateDevices() {
    DeviceSetup& setup = deviceSetup();
    DEVINST root = 0;
    if (setup.locateDevNode(&root, nullptr, CM_LOCATE_DEVNODE_NORMAL) == CR_SUCCESS)
        setup.reenumerateDevNode(root, 0);
}

} // namespace

bool RunDriverStage(InstallerRun& run) {
    const bool uninstall = run.options.uninstall;
    bool done = true;
    if (!uninstall)
        done = AddDriverFolderToSearchPath(run.packageFolder);
    else if (run.hasPackageFolder())
        done = RemoveDriverFolderFromSearchPath(run.packageFolder);
    SetSigningPolicy(!uninstall);

    std::wstring infFolder;
    if (!WindowsInfFolder(infFolder))
        return false;
    Removal removal = removeMatchingDevices(run, infFolder);
    if (!removal.listed)
        return false;
    done = removal.complete && done;
    const StagedPackage staged = uninstall ? ReadStagedPackage() : StagedPackage();
    addStagedInfs(run, infFolder, staged, removal.infNames);
    done = uninstallInfs(removal.infNames) && done;
    if (uninstall) {
        done = removeCreatedFiles(staged) && done;
        ForgetStagedPackage();
    } else if (preinstallsInf(run.versionCode)) {
        done = preinstall(run) && done;
    }
    reenumerateDevices();
    return done;
}
