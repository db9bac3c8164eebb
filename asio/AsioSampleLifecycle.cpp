// Construction, destruction and the COM identity of the driver object.
#include "AsioSample.h"

#include "Discovery.h"
#include "DriverIdentity.h"
#include "DriverSettings.h"
#include "GuardedCall.h"
#include "StreamEngine.h"
#include "SystemGeneration.h"
#include "common/PanelCommands.h"

#include <new>

AsioSample::AsioSample(IUnknown* outer, HRESULT* /*result: construction never fails it*/)
    : CUnknown(outer) {
    // Without a classified system the object stays empty and init refuses to open.
    if (!classifySystemGeneration(systemGeneration))
        return;
    classified = true;
    rateDivisor = systemGeneration == kGenerationNt6 ? 20 : 40;

    readDriverSettings(*this);
    position.write({});
    hostBufferFrames = kMaxBufferFrames;
    inLatencyFrames = kMaxBufferFrames;
    outLatencyFrames = 2 * kMaxBufferFrames;
    periodMs = static_cast<int>(6144000.0 / currentRate);
    useTimeInfo = false;

    settleWithSharedBlock(*this);
    deviceHeldByAnother = !speaksForDevice();
    publishLoad();
}

// An object made while another one, in this host or another, held the device tells the panel
// nothing then; it does once its own init takes the device.
void AsioSample::publishLoad() {
    AsioSharedBlock* b = block();
    if (b == nullptr || loadPublished)
        return;
    loadPublished = true;
    b->driverLoaded = 1;
    b->sampleRate = static_cast<int32_t>(currentRate);
    b->sampleBits = sampleWidth;
    b->minBufferFrames = kMinBufferFrames;
    b->maxBufferFrames = kMaxBufferFrames;
    b->preferredFrames = prfBufSize;
    b->granularityFrames = kBufferGranularity;
    notify(ASIOWM_DRVLOAD);
}

AsioSample::~AsioSample() {
    // Deleted without its last Release (a failed creation): it ends here.
    if (!ended)
        endObject();
}

void AsioSample::lastReferenceGone() {
    endObject();
    releaseMemory();
}

void AsioSample::releaseMemory() {
    if (memoryHolds_.fetch_sub(1) == 1)
        delete this;
}

void AsioSample::endObject() {
    ended = true;
    guardedVoid([this] {
        Locked lifecycle(engine().lifecycle);
        stop();
        releaseOutputEndpoints(*this);
        releaseInputEndpoints(*this);
        disposeBuffers();
        AsioSample* self = this;
        engine().deviceOwner.compare_exchange_strong(self, nullptr);
        // An unclassified object never read the profile; writing its empty fields would
        // overwrite the user's settings. One shut out by another object's stream (a host that
        // scans drivers while it plays) would store a rate the device never ran over the
        // streaming object's.
        if (classified && (isInitialised || !deviceHeldByAnother))
            writeDriverSettings(*this);
        if (AsioSharedBlock* b = block()) {
            b->driverLoaded = 0;
            notify(ASIOWM_DRVUNLOAD);
        }
        sharedBlock.close();
    });
}

HRESULT STDMETHODCALLTYPE AsioSample::QueryInterface(REFIID riid, void** ppv) {
    return owner()->QueryInterface(riid, ppv);
}

ULONG STDMETHODCALLTYPE AsioSample::AddRef() {
    return owner()->AddRef();
}

ULONG STDMETHODCALLTYPE AsioSample::Release() {
    return owner()->Release();
}

HRESULT STDMETHODCALLTYPE AsioSample::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (IsEqualGUID(riid, CLSID_QvK9Asio)) {
        if (ppv == nullptr)
            return E_POINTER;
        *ppv = static_cast<IASIO*>(this);
        static_cast<IASIO*>(this)->AddRef();
        return S_OK;
    }
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

CUnknown* CreateAsioSample(IUnknown* outer, HRESULT* result) {
    return guarded<CUnknown*>(
        nullptr, [&]() -> CUnknown* { return new (std::nothrow) AsioSample(outer, result); });
}
