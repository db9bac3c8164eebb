// The endpoint enumerator of the simulated machine: the endpoints of the shared state, through
// the endpoint API's own interfaces. A collection is a snapshot of the endpoints active when it
// was made; an endpoint that vanishes afterwards cannot be taken from it.
#include "ports/AudioEndpoints.h"

#include "SharedRead.h"
#include "SimDeviceState.h"

#include <propidl.h>
#include <propsys.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <new>
#include <vector>

namespace {

// The endpoint API's interface identifiers, spelled out: the headers declare them only.
constexpr IID kIMMDeviceEnumerator = {
    0xA95664D2, 0x9614, 0x4F35, {0xA7, 0x46, 0xDE, 0x8D, 0xB6, 0x36, 0x17, 0xE6}};
constexpr IID kIMMDeviceCollection = {
    0x0BD7A1BE, 0x7A1A, 0x44DB, {0x83, 0x97, 0xCC, 0x53, 0x92, 0x38, 0x7B, 0x5E}};
constexpr IID kIMMDevice = {
    0xD666063F, 0x1587, 0x4E43, {0x81, 0xF1, 0xB9, 0x48, 0xE8, 0x07, 0x36, 0x3F}};
constexpr IID kIPropertyStore = {
    0x886D8EEB, 0x8CF2, 0x4446, {0x8D, 0x02, 0xCD, 0xBA, 0x1D, 0xBD, 0xCF, 0x99}};
constexpr GUID kHostDeviceKey = {
    0xB3F8FA53, 0x0004, 0x438E, {0x90, 0x03, 0x51, 0xA4, 0x6E, 0x13, 0x9B, 0xFC}};
constexpr GUID kFriendlyNameKey = {
    0x026E516E, 0xB814, 0x414B, {0x83, 0xCD, 0x85, 0x6D, 0x6F, 0xEF, 0x48, 0x22}};

// Reference counting and QueryInterface for one interface beside IUnknown.
template <typename Interface>
class Object : public Interface {
public:
    explicit Object(const IID& iid) : iid_(iid) {}
    virtual ~Object() = default;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (out == nullptr)
            return E_POINTER;
        if (IsEqualGUID(iid, IID_IUnknown) || IsEqualGUID(iid, iid_)) {
            *out = static_cast<Interface*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&refs_); }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG left = InterlockedDecrement(&refs_);
        if (left == 0)
            delete this;
        return left;
    }

private:
    const IID& iid_;
    LONG refs_ = 1;
};

wchar_t* taskCopy(const wchar_t* text, size_t chars) {
    auto copy = static_cast<wchar_t*>(CoTaskMemAlloc((chars + 1) * sizeof(wchar_t)));
    if (copy != nullptr) {
        std::memcpy(copy, text, chars * sizeof(wchar_t));
        copy[chars] = L'\0';
    }
    return copy;
}

template <size_t N>
size_t lengthOf(const wchar_t (&text)[N]) {
    return wcsnlen(text, N);
}

class PropertyStore final : public Object<IPropertyStore> {
public:
    explicit PropertyStore(const sim::SimEndpoint& endpoint)
        : Object(kIPropertyStore), endpoint_(endpoint) {}

    HRESULT STDMETHODCALLTYPE GetCount(DWORD* count) override {
        if (count == nullptr)
            return E_POINTER;
        *count = 2;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetAt(DWORD, PROPERTYKEY*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetValue(REFPROPERTYKEY key, PROPVARIANT* value) override {
        if (value == nullptr)
            return E_POINTER;
        PropVariantInit(value);
        if (key.pid == 2 && IsEqualGUID(key.fmtid, kHostDeviceKey)) {
            if (endpoint_.hostDeviceUnreadable != 0)
                return E_FAIL;
            const size_t chars = lengthOf(endpoint_.hostDevice);
            if (endpoint_.hostDeviceAsBlob == 0)
                return text(endpoint_.hostDevice, chars, value);
            // Raw bytes, no terminator, as a driver may store the text.
            const ULONG bytes = static_cast<ULONG>(chars * sizeof(wchar_t));
            auto data = static_cast<BYTE*>(CoTaskMemAlloc(bytes == 0 ? 1 : bytes));
            if (data == nullptr)
                return E_OUTOFMEMORY;
            std::memcpy(data, endpoint_.hostDevice, bytes);
            value->vt = VT_BLOB;
            value->blob.cbSize = bytes;
            value->blob.pBlobData = data;
            return S_OK;
        }
        if (key.pid == 2 && IsEqualGUID(key.fmtid, kFriendlyNameKey))
            return text(endpoint_.friendlyName, lengthOf(endpoint_.friendlyName), value);
        return S_OK; // VT_EMPTY: the endpoint has no such property
    }
    HRESULT STDMETHODCALLTYPE SetValue(REFPROPERTYKEY, REFPROPVARIANT) override {
        return STG_E_ACCESSDENIED;
    }
    HRESULT STDMETHODCALLTYPE Commit() override { return STG_E_ACCESSDENIED; }

private:
    static HRESULT text(const wchar_t* from, size_t chars, PROPVARIANT* value) {
        value->pwszVal = taskCopy(from, chars);
        if (value->pwszVal == nullptr)
            return E_OUTOFMEMORY;
        value->vt = VT_LPWSTR;
        return S_OK;
    }

    sim::SimEndpoint endpoint_;
};

class Device final : public Object<IMMDevice> {
public:
    explicit Device(const sim::SimEndpoint& endpoint) : Object(kIMMDevice), endpoint_(endpoint) {}

    HRESULT STDMETHODCALLTYPE Activate(REFIID, DWORD, PROPVARIANT*, void** out) override {
        if (out != nullptr)
            *out = nullptr;
        return E_NOINTERFACE;
    }
    HRESULT STDMETHODCALLTYPE OpenPropertyStore(DWORD, IPropertyStore** store) override {
        if (store == nullptr)
            return E_POINTER;
        *store = new (std::nothrow) PropertyStore(endpoint_);
        return *store != nullptr ? S_OK : E_OUTOFMEMORY;
    }
    HRESULT STDMETHODCALLTYPE GetId(LPWSTR* id) override {
        if (id == nullptr)
            return E_POINTER;
        *id = taskCopy(endpoint_.id, lengthOf(endpoint_.id));
        return *id != nullptr ? S_OK : E_OUTOFMEMORY;
    }
    HRESULT STDMETHODCALLTYPE GetState(DWORD* state) override {
        if (state == nullptr)
            return E_POINTER;
        *state = DEVICE_STATE_ACTIVE;
        return S_OK;
    }

private:
    sim::SimEndpoint endpoint_;
};

class Collection final : public Object<IMMDeviceCollection> {
public:
    explicit Collection(std::vector<int> slots)
        : Object(kIMMDeviceCollection), slots_(std::move(slots)) {}

    HRESULT STDMETHODCALLTYPE GetCount(UINT* count) override {
        if (count == nullptr)
            return E_POINTER;
        *count = static_cast<UINT>(slots_.size());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Item(UINT index, IMMDevice** device) override {
        if (device == nullptr)
            return E_POINTER;
        *device = nullptr;
        if (index >= slots_.size())
            return E_INVALIDARG;
        sim::SimEndpoint endpoint = sim::state()->endpoints[slots_[index]];
        if (endpoint.vanishes != 0 ||
            (endpoint.ofDevice != 0 && sim::switchedOn(sim::state()->unplugged)))
            return E_NOTFOUND;
        *device = new (std::nothrow) Device(endpoint);
        return *device != nullptr ? S_OK : E_OUTOFMEMORY;
    }

private:
    std::vector<int> slots_;
};

class Enumerator final : public Object<IMMDeviceEnumerator> {
public:
    Enumerator() : Object(kIMMDeviceEnumerator) {}

    HRESULT STDMETHODCALLTYPE EnumAudioEndpoints(EDataFlow flow, DWORD mask,
                                                 IMMDeviceCollection** list) override {
        if (list == nullptr)
            return E_POINTER;
        *list = nullptr;
        try {
            const sim::SimState* s = sim::state();
            const bool plugged = !sim::switchedOn(s->unplugged);
            const int count = std::clamp(sim::sharedRead(s->endpointCount), 0, sim::kMaxEndpoints);
            std::vector<int> slots;
            for (int i = 0; i < count; ++i) {
                const sim::SimEndpoint& e = s->endpoints[i];
                const bool active = e.active != 0 && (plugged || e.ofDevice == 0);
                const bool flowMatches = flow == eAll || e.flow == static_cast<int32_t>(flow);
                if (flowMatches && (mask & DEVICE_STATE_ACTIVE) != 0 && active)
                    slots.push_back(i);
            }
            *list = new Collection(std::move(slots));
            return S_OK;
        } catch (...) {
            return E_OUTOFMEMORY;
        }
    }
    HRESULT STDMETHODCALLTYPE GetDefaultAudioEndpoint(EDataFlow, ERole,
                                                      IMMDevice** device) override {
        if (device != nullptr)
            *device = nullptr;
        return E_NOTFOUND;
    }
    HRESULT STDMETHODCALLTYPE GetDevice(LPCWSTR, IMMDevice** device) override {
        if (device != nullptr)
            *device = nullptr;
        return E_NOTFOUND;
    }
    HRESULT STDMETHODCALLTYPE
    RegisterEndpointNotificationCallback(IMMNotificationClient*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE
    UnregisterEndpointNotificationCallback(IMMNotificationClient*) override {
        return E_NOTIMPL;
    }
};

class SimAudioEndpoints final : public AudioEndpoints {
public:
    HRESULT createEnumerator(IMMDeviceEnumerator** enumerator) override {
        if (enumerator == nullptr)
            return E_POINTER;
        *enumerator = nullptr;
        if (sim::switchedOn(sim::state()->enumeratorFails))
            return REGDB_E_CLASSNOTREG;
        *enumerator = new (std::nothrow) Enumerator();
        return *enumerator != nullptr ? S_OK : E_OUTOFMEMORY;
    }
};

} // namespace

AudioEndpoints& audioEndpoints() {
    static SimAudioEndpoints instance;
    return instance;
}
