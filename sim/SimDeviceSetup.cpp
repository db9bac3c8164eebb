// Device setup on the simulated machine: the device information sets of the device's instance,
// and the topology filters of the sound devices attached.
#include "ports/DeviceSetup.h"

#include "HandleTable.h"
#include "SharedRead.h"
#include "SimDeviceState.h"
#include "SimInstallerRecord.h"

#include "cpl/device/DeviceWireRecords.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

// One device of a set: an instance with its properties and, for interface sets, its interface.
struct SetEntry {
    std::string instanceId;
    std::string friendlyName; // empty: no such property
    std::string service;      // empty: no such property
    std::string interfacePath;
};

// A set is a snapshot of the device nodes asked for, as a real one is of the devices present.
struct DeviceInfoSet {
    GUID classGuid = {};
    bool interfaces = false; // a KSCATEGORY_TOPOLOGY interface set
    std::vector<SetEntry> nodes;
};

template <size_t N>
std::string textOf(const char (&field)[N]) {
    return std::string(field, strnlen(field, N));
}

// GUID_DEVCLASS_MEDIA, the setup class of audio devices.
constexpr GUID kMediaClass = {
    0x4D36E96C, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};

bool sameText(const char* a, const char* b) {
    return lstrcmpiA(a, b) == 0;
}

sim::HandleTable<DeviceInfoSet>& registry() {
    return sim::HandleTable<DeviceInfoSet>::instance();
}

BOOL fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

// The node a call names by set and element (its DevInst is the one-based index we gave it), or
// nullptr with the error SetupAPI gives.
const SetEntry* nodeOf(HDEVINFO handle, const SP_DEVINFO_DATA* data) {
    const DeviceInfoSet* set = registry().find(handle);
    if (set == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (data == nullptr || data->cbSize != sizeof(SP_DEVINFO_DATA) || data->DevInst == 0 ||
        data->DevInst > set->nodes.size()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return &set->nodes[data->DevInst - 1];
}

BOOL copyOut(const std::string& text, char* buffer, DWORD size, DWORD* requiredSize) {
    const DWORD needed = static_cast<DWORD>(text.size() + 1);
    if (requiredSize != nullptr)
        *requiredSize = needed;
    if (size < needed)
        return fail(ERROR_INSUFFICIENT_BUFFER);
    std::memcpy(buffer, text.c_str(), needed);
    return TRUE;
}

void addDevNodes(DeviceInfoSet& set, const char* enumerator) {
    const sim::SimState* s = sim::state();
    if (sim::switchedOn(s->unplugged))
        return;
    const int32_t count = std::clamp(sim::sharedRead(s->devNodeCount), 0, sim::kMaxDevNodes);
    for (int32_t i = 0; i < count; ++i) {
        SetEntry entry{
            textOf(s->devNodes[i].instanceId), textOf(s->devNodes[i].friendlyName), {}, {}};
        if (enumerator == nullptr || sameText(entry.instanceId.c_str(), enumerator))
            set.nodes.push_back(std::move(entry));
    }
}

// The present topology filters; ours only while the device is plugged in.
void addTopologyFilters(DeviceInfoSet& set, const char* enumerator) {
    const sim::SimState* s = sim::state();
    const bool plugged = !sim::switchedOn(s->unplugged);
    const int32_t count =
        std::clamp(sim::sharedRead(s->topologyFilterCount), 0, sim::kMaxTopologyFilters);
    for (int32_t i = 0; i < count; ++i) {
        const sim::SimTopologyFilter& f = s->topologyFilters[i];
        SetEntry entry{textOf(f.instanceId), {}, textOf(f.service), textOf(f.interfacePath)};
        if (!plugged && entry.service == sim::kDeviceService)
            continue;
        if (enumerator == nullptr || sameText(entry.instanceId.c_str(), enumerator))
            set.nodes.push_back(std::move(entry));
    }
}

class SimDeviceSetup final : public DeviceSetup {
public:
    HDEVINFO getClassDevs(const GUID* classGuid, const char* enumerator, HWND,
                          DWORD flags) override {
        try {
            auto set = std::make_unique<DeviceInfoSet>();
            set->classGuid = classGuid != nullptr ? *classGuid : kMediaClass;
            set->interfaces = (flags & DIGCF_DEVICEINTERFACE) != 0 && classGuid != nullptr &&
                              IsEqualGUID(*classGuid, kKsCategoryTopology);
            if (set->interfaces)
                addTopologyFilters(*set, enumerator);
            else
                addDevNodes(*set, enumerator);
            return static_cast<HDEVINFO>(registry().add(std::move(set)));
        } catch (...) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return INVALID_HANDLE_VALUE;
        }
    }

    BOOL enumDeviceInfo(HDEVINFO handle, DWORD index, SP_DEVINFO_DATA* data) override {
        const DeviceInfoSet* set = registry().find(handle);
        if (set == nullptr)
            return fail(ERROR_INVALID_HANDLE);
        if (data == nullptr || data->cbSize != sizeof(SP_DEVINFO_DATA))
            return fail(ERROR_INVALID_USER_BUFFER);
        if (index >= set->nodes.size())
            return fail(ERROR_NO_MORE_ITEMS);
        data->ClassGuid = set->classGuid;
        data->DevInst = index + 1;
        data->Reserved = 0;
        return TRUE;
    }

    BOOL getDeviceRegistryProperty(HDEVINFO handle, SP_DEVINFO_DATA* data, DWORD property,
                                   DWORD* dataType, BYTE* buffer, DWORD size,
                                   DWORD* requiredSize) override {
        const SetEntry* node = nodeOf(handle, data);
        if (node == nullptr)
            return FALSE;
        if (buffer == nullptr && size != 0)
            return fail(ERROR_INVALID_USER_BUFFER);
        // The instance carries the friendly name its INF gives it and the service it runs on.
        const std::string* text = property == SPDRP_FRIENDLYNAME ? &node->friendlyName
                                  : property == SPDRP_SERVICE    ? &node->service
                                                                 : nullptr;
        if (text == nullptr || text->empty())
            return fail(ERROR_INVALID_DATA);
        if (dataType != nullptr)
            *dataType = REG_SZ;
        return copyOut(*text, reinterpret_cast<char*>(buffer), size, requiredSize);
    }

    BOOL getDeviceInstanceId(HDEVINFO handle, SP_DEVINFO_DATA* data, char* id, DWORD size,
                             DWORD* requiredSize) override {
        const SetEntry* node = nodeOf(handle, data);
        if (node == nullptr)
            return FALSE;
        if (id == nullptr && size != 0)
            return fail(ERROR_INVALID_USER_BUFFER);
        return copyOut(node->instanceId, id, size, requiredSize);
    }

    BOOL enumDeviceInterfaces(HDEVINFO handle, SP_DEVINFO_DATA* data, const GUID* guid, DWORD index,
                              SP_DEVICE_INTERFACE_DATA* interfaceData) override {
        const DeviceInfoSet* set = registry().find(handle);
        if (set == nullptr)
            return fail(ERROR_INVALID_HANDLE);
        if (interfaceData == nullptr || interfaceData->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA) ||
            guid == nullptr)
            return fail(ERROR_INVALID_USER_BUFFER);
        if (data != nullptr)
            return fail(ERROR_INVALID_PARAMETER); // every device has one interface: not needed
        if (!set->interfaces || !IsEqualGUID(*guid, set->classGuid) || index >= set->nodes.size())
            return fail(ERROR_NO_MORE_ITEMS);
        interfaceData->InterfaceClassGuid = *guid;
        interfaceData->Flags = SPINT_ACTIVE;
        interfaceData->Reserved = index + 1;
        return TRUE;
    }

    BOOL getDeviceInterfaceDetail(HDEVINFO handle, SP_DEVICE_INTERFACE_DATA* interfaceData,
                                  SP_DEVICE_INTERFACE_DETAIL_DATA_A* detail, DWORD size,
                                  DWORD* requiredSize, SP_DEVINFO_DATA* data) override {
        const DeviceInfoSet* set = registry().find(handle);
        if (set == nullptr)
            return fail(ERROR_INVALID_HANDLE);
        if (interfaceData == nullptr || interfaceData->Reserved == 0 ||
            interfaceData->Reserved > set->nodes.size())
            return fail(ERROR_INVALID_PARAMETER);
        const SetEntry& node = set->nodes[interfaceData->Reserved - 1];
        const DWORD header = offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath);
        const DWORD needed = header + static_cast<DWORD>(node.interfacePath.size() + 1);
        if (requiredSize != nullptr)
            *requiredSize = needed;
        if (detail == nullptr) {
            if (size != 0)
                return fail(ERROR_INVALID_USER_BUFFER);
            return fail(ERROR_INSUFFICIENT_BUFFER);
        }
        if (detail->cbSize != sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A))
            return fail(ERROR_INVALID_USER_BUFFER);
        if (size < needed)
            return fail(ERROR_INSUFFICIENT_BUFFER);
        std::memcpy(detail->DevicePath, node.interfacePath.c_str(), node.interfacePath.size() + 1);
        if (data != nullptr && data->cbSize == sizeof(SP_DEVINFO_DATA)) {
            data->ClassGuid = set->classGuid;
            data->DevInst = static_cast<DWORD>(interfaceData->Reserved);
        }
        return TRUE;
    }

    BOOL destroyDeviceInfoList(HDEVINFO handle) override {
        if (!registry().take(handle))
            return fail(ERROR_INVALID_HANDLE);
        return TRUE;
    }

    // The simulated tree has one root; a re-enumeration of it is recorded for the tests.
    CONFIGRET locateDevNode(DEVINST* node, const char* deviceId, ULONG) override {
        if (node == nullptr)
            return CR_INVALID_POINTER;
        if (deviceId != nullptr && deviceId[0] != '\0')
            return CR_NO_SUCH_DEVNODE;
        *node = kRootDevNode;
        InterlockedIncrement(&sim::installerRecord()->rootLocates);
        return CR_SUCCESS;
    }
    CONFIGRET reenumerateDevNode(DEVINST node, ULONG flags) override {
        if (node != kRootDevNode)
            return CR_INVALID_DEVNODE;
        sim::SimInstallerRecord* r = sim::installerRecord();
        r->lastReenumerateFlags = flags;
        InterlockedIncrement(&r->reenumerations);
        return CR_SUCCESS;
    }

private:
    static constexpr DEVINST kRootDevNode = 1;
};

} // namespace

DeviceSetup& deviceSetup() {
    static SimDeviceSetup instance;
    return instance;
}
