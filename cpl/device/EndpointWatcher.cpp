#include "EndpointWatcher.h"

#include "common/ComRef.h"

#include "ports/AudioEndpoints.h"

#include <propidl.h>
#include <propsys.h>

#include <cstring>
#include <cwchar>

namespace {

struct SelectorKey {
    int selector;
    PROPERTYKEY key;
};

// PKEY_DeviceInterface_FriendlyName, PKEY_Device_DeviceDesc and the host device's identifier.
constexpr SelectorKey kSelectorKeys[] = {
    {kEndpointFriendlyName,
     {{0x026E516E, 0xB814, 0x414B, {0x83, 0xCD, 0x85, 0x6D, 0x6F, 0xEF, 0x48, 0x22}}, 2}},
    {kEndpointDeviceDesc,
     {{0xA45C254E, 0xDF1C, 0x4EFD, {0x80, 0x20, 0x67, 0xD1, 0x46, 0xA8, 0x50, 0xE0}}, 2}},
    {kEndpointHostDevice,
     {{0xB3F8FA53, 0x0004, 0x438E, {0x90, 0x03, 0x51, 0xA4, 0x6E, 0x13, 0x9B, 0xFC}}, 2}},
};

const PROPERTYKEY* keyOf(int selector) {
    for (const SelectorKey& entry : kSelectorKeys) {
        if (entry.selector == selector)
            return &entry.key;
    }
    return nullptr;
}

void copyText(wchar_t (&to)[kEndpointTextChars], const wchar_t* from) {
    std::wcsncpy(to, from, kEndpointTextChars - 1);
    to[kEndpointTextChars - 1] = L'\0';
}

// Clears the variant on every path out.
class PropVariant {
public:
    PropVariant() { PropVariantInit(&value_); }
    ~PropVariant() { PropVariantClear(&value_); }
    PropVariant(const PropVariant&) = delete;
    PropVariant& operator=(const PropVariant&) = delete;
    PROPVARIANT* get() { return &value_; }

private:
    PROPVARIANT value_;
};

} // namespace

CEndpointWatcher::CEndpointWatcher() {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED); // already initialised otherwise is fine too
    if (FAILED(audioEndpoints().createEnumerator(&enumerator_)))
        enumerator_ = nullptr;
}

CEndpointWatcher::~CEndpointWatcher() {
    if (capture_ != nullptr)
        capture_->Release();
    if (render_ != nullptr)
        render_->Release();
    if (enumerator_ != nullptr)
        enumerator_->Release();
}

IMMDeviceCollection* CEndpointWatcher::listOf(int flow) const {
    return flow == 0 ? render_ : flow == 1 ? capture_ : nullptr;
}

void CEndpointWatcher::EnumerateEndpoints(int flow) {
    IMMDeviceCollection*& list = flow == 0 ? render_ : capture_;
    IMMDeviceCollection* fresh = nullptr;
    if (enumerator_ == nullptr || FAILED(enumerator_->EnumAudioEndpoints(
                                      flow == 0 ? eRender : eCapture, DEVICE_STATE_ACTIVE, &fresh)))
        fresh = nullptr;
    if (list != nullptr)
        list->Release();
    list = fresh;
}

int CEndpointWatcher::GetEndpointCount(int flow) const {
    IMMDeviceCollection* list = listOf(flow);
    UINT count = 0;
    if (list == nullptr || FAILED(list->GetCount(&count)))
        return 0;
    return static_cast<int>(count);
}

bool CEndpointWatcher::GetEndpointId(int flow, int index, wchar_t (&id)[kEndpointTextChars]) {
    IMMDeviceCollection* list = listOf(flow);
    if (list == nullptr || index < 0)
        return false;
    ComRef<IMMDevice> device;
    if (FAILED(list->Item(static_cast<UINT>(index), device.out())) || !device)
        return false;
    LPWSTR text = nullptr;
    if (FAILED(device->GetId(&text)) || text == nullptr)
        return false;
    copyText(id, text);
    CoTaskMemFree(text);
    return true;
}

bool CEndpointWatcher::GetEndpointProperty(int flow, int index, int selector,
                                           wchar_t (&text)[kEndpointTextChars]) {
    IMMDeviceCollection* list = listOf(flow);
    if (list == nullptr || index < 0)
        return false;
    const PROPERTYKEY* key = keyOf(selector);
    ComRef<IMMDevice> device;
    ComRef<IPropertyStore> store;
    PropVariant value;
    if (FAILED(list->Item(static_cast<UINT>(index), device.out())) || !device ||
        FAILED(device->OpenPropertyStore(STGM_READ, store.out())) || !store ||
        (key != nullptr && FAILED(store->GetValue(*key, value.get())))) {
        copyText(text, kDeviceNotAvailable);
        return false;
    }
    if (key == nullptr)
        return false; // an unknown selector leaves the text as it is
    const PROPVARIANT& v = *value.get();
    if (v.vt == VT_LPWSTR && v.pwszVal != nullptr) {
        copyText(text, v.pwszVal);
    } else if (v.vt == VT_BLOB && v.blob.pBlobData != nullptr) {
        const size_t bytes = v.blob.cbSize < 260 ? v.blob.cbSize : 260;
        std::memcpy(text, v.blob.pBlobData, bytes); // no terminator: the reader bounds itself
    } else {
        return false;
    }
    return true;
}
