#include "Discovery.h"

#include "AsioSample.h"
#include "StreamEngine.h"
#include "SystemGeneration.h"
#include "common/NamedMapping.h"
#include "ports/DeviceSetup.h"
#include "ports/WaveEndpoints.h"

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <memory>

namespace {

struct AcceptedDevice {
    unsigned short vendorId;
    unsigned short productId;
    unsigned short interfaceNumber; // 0xFF: any
};

// Room for sixteen devices; the Quenvora-K9 is the only one in use.
constexpr AcceptedDevice kAcceptedDevices[16] = {{0x1852, 0x7022, 0xFF}};
constexpr int kActiveAcceptedDevices = 1;

constexpr GUID kKsCategoryAudio = {
    0x6994AD04, 0x93EF, 0x11D0, {0xA3, 0xCC, 0x00, 0xA0, 0xC9, 0x22, 0x31, 0x96}};

constexpr UINT kQueryInterfaceSize = 0x80D; // DRV_QUERYDEVICEINTERFACESIZE
constexpr UINT kQueryInterface = 0x80C;     // DRV_QUERYDEVICEINTERFACE
constexpr size_t kFriendlyNameBytes = 128;
constexpr char kNoFriendlyName[] = "No Friendly Name";

// Reads `digits` hexadecimal characters after `marker`, stopping at the first that is not.
unsigned readHexAfter(const wchar_t* path, const wchar_t* marker, size_t digits, unsigned fallback,
                      bool& found) {
    const wchar_t* at = std::wcsstr(path, marker);
    found = at != nullptr;
    if (!found)
        return fallback;
    const wchar_t* value = at + std::wcslen(marker);
    if (std::wcslen(value) < digits)
        return fallback;
    wchar_t text[8] = {};
    std::wmemcpy(text, value, digits);
    return static_cast<unsigned>(std::wcstoul(text, nullptr, 16));
}

// What differs between the two directions of discovery.
struct Direction {
    UINT (WaveEndpoints::*numDevs)();
    MMRESULT (WaveEndpoints::*message)(UINT, UINT, DWORD_PTR, DWORD_PTR);
    bool isInput;
    const char* portFormat;
};

constexpr Direction kInput{&WaveEndpoints::inGetNumDevs, &WaveEndpoints::inMessage, true,
                           "Quenvora-K9_ASIO_In_%d"};
constexpr Direction kOutput{&WaveEndpoints::outGetNumDevs, &WaveEndpoints::outMessage, false,
                            "Quenvora-K9_ASIO_Out_%d"};

void productNameOf(const Direction& dir, UINT deviceId, char* name, size_t nameBytes) {
    WaveEndpoints& wave = waveEndpoints();
    if (dir.isInput) {
        WAVEINCAPSA caps = {};
        wave.inGetDevCaps(deviceId, &caps, sizeof(caps));
        std::snprintf(name, nameBytes, "%.*s", static_cast<int>(sizeof(caps.szPname)),
                      caps.szPname);
    } else {
        WAVEOUTCAPSA caps = {};
        wave.outGetDevCaps(deviceId, &caps, sizeof(caps));
        std::snprintf(name, nameBytes, "%.*s", static_cast<int>(sizeof(caps.szPname)),
                      caps.szPname);
    }
}

// False when the device must be skipped (an NT 6 path without an instance id).
bool friendlyNameOf(const AsioSample& driver, const Direction& dir, UINT deviceId,
                    const wchar_t* path, char* name) {
    name[0] = '\0';
    if (driver.systemGeneration != kGenerationNt6) {
        productNameOf(dir, deviceId, name, kFriendlyNameBytes);
        return true;
    }
    const size_t idBytes = std::wcslen(path) + 1;
    std::unique_ptr<char[]> instanceId(new (std::nothrow) char[idBytes]);
    if (!instanceId)
        return false;
    interfacePathToInstanceId(path, instanceId.get(), idBytes);
    if (instanceId[0] == '\0')
        return false;
    friendlyNameOfInstance(instanceId.get(), name, kFriendlyNameBytes);
    if (name[0] == '\0')
        std::snprintf(name, kFriendlyNameBytes, "%s", kNoFriendlyName);
    return true;
}

// A ring is named memory that every host process on the machine can open. The process that
// holds it keeps a claim on it: a named event that exists while a handle to it is open, so
// Windows drops it with the process however that process ends. A ring claimed by another
// process belongs to a live driver there and is not taken from it; a ring without a claim was
// left behind by a process that is gone, and is taken over and zeroed.
void claimNameOf(const char* portName, char* name, size_t bytes) {
    std::snprintf(name, bytes, "%s Claim", portName);
}

bool claimRing(const char* portName, UniqueHandle& claim) {
    char name[kPortNameBytes + 8];
    claimNameOf(portName, name, sizeof(name));
    HANDLE created = CreateEventA(nullptr, TRUE, FALSE, name);
    const DWORD error = GetLastError();
    UniqueHandle handle(created);
    if (!handle || error == ERROR_ALREADY_EXISTS)
        return false;
    claim = std::move(handle);
    return true;
}

bool claimedByAnyone(const char* portName) {
    char name[kPortNameBytes + 8];
    claimNameOf(portName, name, sizeof(name));
    UniqueHandle claim(OpenEventA(SYNCHRONIZE, FALSE, name));
    // A claim made by an elevated host may be closed to this one: it is there all the same.
    return claim.valid() || GetLastError() == ERROR_ACCESS_DENIED;
}

// Claims the endpoint's ring, then opens it by its port name, or creates it, and zeroes it.
bool createRing(const char* portName, UniqueHandle& claim, UniqueHandle& mapping,
                UniqueView& view) {
    UniqueHandle newClaim;
    if (!claimRing(portName, newClaim))
        return false;
    NamedMapping ring = OpenOrCreateMapping(portName, kRingBytes);
    if (!ring.mapped())
        return false;
    auto* r = static_cast<EndpointRing*>(ring.view.get());
    std::memset(r->blocks, 0, kRingDataBytes);
    r->readIndex = 0;
    r->writeIndex = 0;
    r->queuedCount = 0;
    claim = std::move(newClaim);
    mapping = std::move(ring.mapping);
    view = std::move(ring.view);
    return true;
}

bool discover(AsioSample& driver, const Direction& dir) {
    WaveEndpoints& wave = waveEndpoints();
    EngineState& eng = engine();
    int& count = dir.isInput ? driver.inEndpointCount : driver.outEndpointCount;

    const UINT devices = (wave.*dir.numDevs)();
    for (UINT id = 0; id < devices && count < 1; ++id) {
        ULONG pathBytes = 0;
        (wave.*dir.message)(id, kQueryInterfaceSize, reinterpret_cast<DWORD_PTR>(&pathBytes), 0);
        if (pathBytes == 0)
            continue;
        // One spare character keeps the path terminated whatever the device answers.
        const size_t chars = pathBytes / sizeof(wchar_t) + 1;
        std::unique_ptr<wchar_t[]> path(new (std::nothrow) wchar_t[chars]());
        if (!path)
            continue;
        (wave.*dir.message)(id, kQueryInterface, reinterpret_cast<DWORD_PTR>(path.get()),
                            pathBytes);

        const int slot = acceptedSlot(parseInterfacePath(path.get()));
        if (slot < 0)
            continue;
        char name[kFriendlyNameBytes] = {};
        if (!friendlyNameOf(driver, dir, id, path.get(), name))
            continue;

        char* portName = dir.isInput ? driver.inPortNames[slot] : driver.outPortNames[slot];
        UINT& waveId = dir.isInput ? driver.inWaveIds[slot] : driver.outWaveIds[slot];
        std::snprintf(portName, kPortNameBytes, dir.portFormat, slot);
        waveId = id;

        UniqueHandle& claim = dir.isInput ? eng.inRingClaims[slot] : eng.outRingClaims[slot];
        UniqueHandle& mapping = dir.isInput ? eng.inRingMappings[slot] : eng.outRingMappings[slot];
        UniqueView& view = dir.isInput ? eng.inRingViews[slot] : eng.outRingViews[slot];
        if (!createRing(portName, claim, mapping, view)) {
            portName[0] = '\0';
            waveId = 0;
            continue;
        }
        ++count;
        if (AsioSharedBlock* b = driver.block()) {
            char(&names)[kEndpointNameSlots][kEndpointNameBytes] =
                dir.isInput ? b->inEndpointNames : b->outEndpointNames;
            std::memcpy(names[slot], name, kEndpointNameBytes);
        }
    }
    int& total = dir.isInput ? driver.inChannelTotal : driver.outChannelTotal;
    total = 2 * count;
    return count != 0;
}

} // namespace

UsbIdentity parseInterfacePath(wchar_t* path) {
    UsbIdentity id;
    CharUpperW(path);
    bool found = false;
    id.vendorId = readHexAfter(path, L"VID_", 4, 0xFF, found);
    if (!found)
        return id;
    id.productId = readHexAfter(path, L"PID_", 4, 0xFF, found);
    if (!found)
        return id;
    id.interfaceNumber = readHexAfter(path, L"MI_", 2, 0xFF, found);
    return id;
}

int acceptedSlot(const UsbIdentity& id) {
    for (int row = 0; row < kActiveAcceptedDevices; ++row) {
        const AcceptedDevice& d = kAcceptedDevices[row];
        if (d.vendorId == id.vendorId && d.productId == id.productId &&
            (d.interfaceNumber == id.interfaceNumber || d.interfaceNumber == 0xFF))
            return row;
    }
    return -1;
}

void interfacePathToInstanceId(const wchar_t* path, char* out, size_t outBytes) {
    if (outBytes == 0)
        return;
    out[0] = '\0';
    if (std::wcslen(path) <= 4)
        return;
    const int written = WideCharToMultiByte(CP_ACP, 0, path + 4, -1, out,
                                            static_cast<int>(outBytes), nullptr, nullptr);
    if (written == 0) {
        out[0] = '\0';
        return;
    }
    CharUpperA(out);
    char* first = std::strchr(out, '#');
    char* second = first ? std::strchr(first + 1, '#') : nullptr;
    char* third = second ? std::strchr(second + 1, '#') : nullptr;
    if (third == nullptr) {
        out[0] = '\0';
        return;
    }
    *first = '\\';
    *second = '\\';
    *third = '\0';
}

void friendlyNameOfInstance(const char* instanceId, char* name, size_t nameBytes) {
    if (nameBytes == 0)
        return;
    name[0] = '\0';
    DeviceSetup& setup = deviceSetup();
    HDEVINFO set =
        setup.getClassDevs(&kKsCategoryAudio, instanceId, nullptr, DIGCF_DEVICEINTERFACE);
    if (set == nullptr || set == INVALID_HANDLE_VALUE)
        return;
    SP_DEVINFO_DATA data = {};
    data.cbSize = sizeof(data);
    if (setup.enumDeviceInfo(set, 0, &data)) {
        setup.getDeviceRegistryProperty(set, &data, SPDRP_FRIENDLYNAME, nullptr,
                                        reinterpret_cast<BYTE*>(name),
                                        static_cast<DWORD>(nameBytes - 1), nullptr);
        name[nameBytes - 1] = '\0';
    }
    setup.destroyDeviceInfoList(set);
}

bool discoverInputEndpoints(AsioSample& driver) {
    return discover(driver, kInput);
}
bool discoverOutputEndpoints(AsioSample& driver) {
    return discover(driver, kOutput);
}

bool deviceClaimedElsewhere() {
    const EngineState& eng = engine();
    for (int slot = 0; slot < kEndpointSlots; ++slot) {
        char portName[kPortNameBytes];
        std::snprintf(portName, sizeof(portName), kOutput.portFormat, slot);
        if (!eng.outRingClaims[slot] && claimedByAnyone(portName))
            return true;
        std::snprintf(portName, sizeof(portName), kInput.portFormat, slot);
        if (!eng.inRingClaims[slot] && claimedByAnyone(portName))
            return true;
    }
    return false;
}

void releaseOutputEndpoints(AsioSample& driver) {
    driver.openOutCount = 0;
    if (!ownsDevice(driver))
        return;
    EngineState& eng = engine();
    for (int slot = 0; slot < kEndpointSlots; ++slot) {
        // A ring whose endpoint the device kept stays mapped for it, out of the driver's hands.
        if (!closeOutputEndpoint(driver, slot))
            static_cast<void>(eng.outRingViews[slot].release());
        eng.outRingViews[slot].reset();
        eng.outRingMappings[slot].reset();
        eng.outRingClaims[slot].reset();
    }
}

void releaseInputEndpoints(AsioSample& driver) {
    driver.openInCount = 0;
    if (!ownsDevice(driver))
        return;
    EngineState& eng = engine();
    for (int slot = 0; slot < kEndpointSlots; ++slot) {
        if (!closeInputEndpoint(driver, slot))
            static_cast<void>(eng.inRingViews[slot].release());
        eng.inRingViews[slot].reset();
        eng.inRingMappings[slot].reset();
        eng.inRingClaims[slot].reset();
    }
}
