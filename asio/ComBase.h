// The COM plumbing of the in-process server: live-object and lock counts, the reference-counted
// base with aggregation support, the class table and its factory.
#pragma once

#include <windows.h>
#include <unknwn.h>

// Live CUnknown-derived objects; the class factory is not counted.
extern volatile LONG objectCount;
// Locks taken through IClassFactory::LockServer.
extern LONG serverLockCount;

class CBaseObject {
public:
    CBaseObject();
    virtual ~CBaseObject();
    CBaseObject(const CBaseObject&) = delete;
    CBaseObject& operator=(const CBaseObject&) = delete;
};

// The inner object's IUnknown in COM aggregation.
struct INonDelegatingUnknown {
    virtual HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID riid, void** ppv) = 0;
    virtual ULONG STDMETHODCALLTYPE NonDelegatingAddRef() = 0;
    virtual ULONG STDMETHODCALLTYPE NonDelegatingRelease() = 0;
};

class CUnknown : public INonDelegatingUnknown, public CBaseObject {
public:
    explicit CUnknown(IUnknown* outer);
    ~CUnknown() override;

    HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE NonDelegatingAddRef() override;
    ULONG STDMETHODCALLTYPE NonDelegatingRelease() override;

    // The controlling unknown: the outer object when aggregated, else our own inner one.
    IUnknown* owner() const { return owner_; }

protected:
    // Runs when the last reference goes; an object whose memory others still use for a while
    // (its own threads) ends itself and frees the memory later.
    virtual void lastReferenceGone() { delete this; }

private:
    IUnknown* owner_;
    volatile LONG refCount_ = 0;
};

// Creation function of a class table row: builds the object for `outer`, may store a failure
// code in *result, returns the object's non-delegating part or null when allocation failed.
using CreateInstanceFn = CUnknown* (*)(IUnknown* outer, HRESULT* result);

struct ClassTemplate {
    const wchar_t* name;
    const CLSID* clsid;
    CreateInstanceFn create;
    void (*initialise)(BOOL loading, const CLSID* clsid);
};

extern const ClassTemplate classTemplates[];
extern const int classTemplateCount;

class CClassFactory final : public IClassFactory {
public:
    explicit CClassFactory(const ClassTemplate* row) : row_(row) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override;
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;

private:
    LONG refCount_ = 0;
    const ClassTemplate* row_;
};
