// Device setup on the simulated machine: the device information sets of the device's instance.
#include "ports/DeviceSetup.h"

#include "CriticalSection.h"
#include "SharedRead.h"
#include "SimDeviceState.h"
#include "SimInstallerRecord.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

namespace {

// A set is a snapshot of the device nodes asked for, as a real one is of the devices present.
struct DeviceInfoSet {
    GUID classGuid = {};
    std::vector<sim::SimDevNode> nodes;
};

// GUID_DEVCLASS_MEDIA, the setup class of audio devices.
constexpr GUID kMediaClass = {
    0x4D36E96C, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};

bool sameText(const char* a, const char* b) {
    return lstrcmpiA(a, b) == 0;
}

// Sets this process handed out and has not destroyed: nothing else is dereferenced.
class SetRegistry {
public:
    HDEVINFO add(DeviceInfoSet* set) {
        sim::Locked l(lock_);
        sets_.push_back(set);
        return static_cast<HDEVINFO>(set);
    }
    DeviceInfoSet* find(HDEVINFO handle) {
        sim::Locked l(lock_);
        auto at = std::find(sets_.begin(), sets_.end(), handle);
        return at == sets_.end() ? nullptr : *at;
    }
    DeviceInfoSet* remove(HDEVINFO handle) {
        sim::Locked l(lock_);
        auto at = std::find(sets_.begin(), sets_.end(), handle);
        if (at == sets_.end())
            return nullptr;
        DeviceInfoSet* set = *at;
        sets_.erase(at);
        return set;
    }

private:
    sim::CriticalSection lock_;
    std::vector<DeviceInfoSet*> sets_;
};

SetRegistry& registry() {
    static SetRegistry* r = new SetRegistry(); // sets may outlive the statics
    return *r;
}

BOOL fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

// The node `data` names in `set`: its DevInst is the one-based index we gave it.
const sim::SimDevNode* nodeOf(const DeviceInfoSet& set, const SP_DEVINFO_DATA* data) {
    if (data == nullptr || data->cbSize != sizeof(SP_DEVINFO_DATA) || data->DevInst == 0 ||
        data->DevInst > set.nodes.size())
        return nullptr;
    return &set.nodes[data->DevInst - 1];
}

class SimDeviceSetup final : public DeviceSetup {
public:
    HDEVINFO getClassDevs(const GUID* classGuid, const char* enumerator, HWND, DWORD) override {
        try {
            auto set = std::make_unique<DeviceInfoSet>();
            set->classGuid = classGuid != nullptr ? *classGuid : kMediaClass;
            const sim::SimState* s = sim::state();
            if (!sim::switchedOn(s->unplugged)) {
                const int32_t count =
                    std::clamp(sim::sharedRead(s->devNodeCount), 0, sim::kMaxDevNodes);
                for (int32_t i = 0; i < count; ++i) {
                    sim::SimDevNode node = s->devNodes[i];
                    node.instanceId[sizeof(node.instanceId) - 1] = '\0';
                    node.friendlyName[sizeof(node.friendlyName) - 1] = '\0';
                    if (enumerator == nullptr || sameText(node.instanceId, enumerator))
                        set->nodes.push_back(node);
                }
            }
            HDEVINFO handle = registry().add(set.get());
            set.release();
            return handle;
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
        const DeviceInfoSet* set = registry().find(handle);
        if (set == nullptr)
            return fail(ERROR_INVALID_HANDLE);
        const sim::SimDevNode* node = nodeOf(*set, data);
        if (node == nullptr)
            return fail(ERROR_INVALID_PARAMETER);
        if (buffer == nullptr && size != 0)
            return fail(ERROR_INVALID_USER_BUFFER);
        // The instance carries only the one property the device's INF gives it.
        if (property != SPDRP_FRIENDLYNAME || node->friendlyName[0] == '\0')
            return fail(ERROR_INVALID_DATA);
        const DWORD needed = static_cast<DWORD>(std::strlen(node->friendlyName) + 1);
        if (dataType != nullptr)
            *dataType = REG_SZ;
        if (requiredSize != nullptr)
            *requiredSize = needed;
        if (size < needed)
            return fail(ERROR_INSUFFICIENT_BUFFER);
        std::memcpy(buffer, node->friendlyName, needed);
        return TRUE;
    }

    BOOL destroyDeviceInfoList(HDEVINFO handle) override {
        DeviceInfoSet* set = registry().remove(handle);
        if (set == nullptr)
            return fail(ERROR_INVALID_HANDLE);
        delete set;
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
