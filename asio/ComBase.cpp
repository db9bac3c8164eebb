// Reference counting, aggregation and the class factory of the in-process server.
#include "ComBase.h"

#include "GuardedCall.h"

#include <new>

volatile LONG objectCount = 0;
LONG serverLockCount = 0;

namespace {

// A count handed back to callers never says "gone" for an object that still exists.
ULONG atLeastOne(LONG count) {
    return count < 1 ? 1u : static_cast<ULONG>(count);
}

} // namespace

CBaseObject::CBaseObject() {
    InterlockedIncrement(&objectCount);
}

CBaseObject::~CBaseObject() {
    InterlockedDecrement(&objectCount);
}

CUnknown::CUnknown(IUnknown* outer)
    : owner_(outer != nullptr
                 ? outer
                 // Same three slots as IUnknown: alone, the object controls itself.
                 : reinterpret_cast<IUnknown*>(static_cast<INonDelegatingUnknown*>(this))) {}

CUnknown::~CUnknown() = default;

HRESULT STDMETHODCALLTYPE CUnknown::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr)
        return E_POINTER;
    if (IsEqualGUID(riid, IID_IUnknown)) {
        *ppv = static_cast<INonDelegatingUnknown*>(this);
        NonDelegatingAddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE CUnknown::NonDelegatingAddRef() {
    return atLeastOne(InterlockedIncrement(&refCount_));
}

ULONG STDMETHODCALLTYPE CUnknown::NonDelegatingRelease() {
    const LONG count = InterlockedDecrement(&refCount_);
    if (count == 0) {
        // Releases made while the destructor runs must not reach zero a second time.
        refCount_ = 1;
        guardedVoid([this] { lastReferenceGone(); });
        return 0;
    }
    return atLeastOne(count);
}

HRESULT STDMETHODCALLTYPE CClassFactory::QueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr)
        return E_POINTER;
    *ppv = nullptr;
    if (!IsEqualGUID(riid, IID_IUnknown) && !IsEqualGUID(riid, IID_IClassFactory))
        return E_NOINTERFACE;
    *ppv = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
}

ULONG STDMETHODCALLTYPE CClassFactory::AddRef() {
    return static_cast<ULONG>(++refCount_);
}

ULONG STDMETHODCALLTYPE CClassFactory::Release() {
    const LONG count = --refCount_;
    if (count == 0) {
        delete this;
        return 0;
    }
    return static_cast<ULONG>(count);
}

HRESULT STDMETHODCALLTYPE CClassFactory::CreateInstance(IUnknown* outer, REFIID riid, void** ppv) {
    if (ppv == nullptr)
        return E_POINTER;
    // An aggregating caller must hold the inner object by its own IUnknown.
    if (outer != nullptr && !IsEqualGUID(riid, IID_IUnknown))
        return E_NOINTERFACE;

    HRESULT result = S_OK;
    CUnknown* object = guarded<CUnknown*>(nullptr, [&] { return row_->create(outer, &result); });
    if (object == nullptr)
        return E_OUTOFMEMORY;
    if (FAILED(result)) {
        guardedVoid([object] { delete object; });
        return result;
    }

    // The temporary reference lets a failed query destroy the object on the final release.
    object->NonDelegatingAddRef();
    result = guarded<HRESULT>(E_UNEXPECTED,
                              [&] { return object->NonDelegatingQueryInterface(riid, ppv); });
    object->NonDelegatingRelease();
    return result;
}

HRESULT STDMETHODCALLTYPE CClassFactory::LockServer(BOOL lock) {
    if (lock)
        ++serverLockCount;
    else
        --serverLockCount;
    return S_OK;
}
