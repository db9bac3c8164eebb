// The server's COM contract seen from a client: class objects, the factory, reference counts,
// aggregation and when the module may be unloaded. The driver module is loaded by path.
#include "asio/AsioInterface.h"
#include "asio/DriverIdentity.h"
#include "sim/SimDeviceState.h"
#include "support/TestProcess.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const IID kOtherInterface = IID_IDispatch;
const CLSID kOtherClass = {
    0x58527022, 0x702F, 0x47D6, {0xB9, 0xF4, 0x97, 0x55, 0x6F, 0x3F, 0xF0, 0x62}};
void* const kUntouched = reinterpret_cast<void*>(0x5A5A5A5A);

// An outer object of our own that counts what reaches it.
struct CountingOuter : IUnknown {
    LONG addRefs = 0;
    LONG releases = 0;
    LONG queries = 0;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** ppv) override {
        ++queries;
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++addRefs - releases); }
    ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(addRefs - ++releases); }
};

class ComRules : public ::testing::Test {
protected:
    using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    using CanUnloadFn = HRESULT(STDAPICALLTYPE*)();

    void SetUp() override {
        module = LoadLibraryA(simDriverPath().c_str());
        ASSERT_NE(module, nullptr);
        getClassObject = reinterpret_cast<GetClassObjectFn>(
            reinterpret_cast<void (*)()>(GetProcAddress(module, "DllGetClassObject")));
        canUnloadNow = reinterpret_cast<CanUnloadFn>(
            reinterpret_cast<void (*)()>(GetProcAddress(module, "DllCanUnloadNow")));
        ASSERT_TRUE(getClassObject != nullptr && canUnloadNow != nullptr);
        ASSERT_EQ(canUnloadNow(), S_OK);
        ASSERT_EQ(
            getClassObject(CLSID_QvK9Asio, IID_IClassFactory, reinterpret_cast<void**>(&factory)),
            S_OK);
    }
    void TearDown() override {
        if (factory != nullptr) {
            EXPECT_EQ(factory->Release(), 0u);
        }
        // Every test leaves no object and no lock behind.
        if (canUnloadNow != nullptr) {
            EXPECT_EQ(canUnloadNow(), S_OK);
        }
        if (module != nullptr)
            FreeLibrary(module);
    }

    HMODULE module = nullptr;
    GetClassObjectFn getClassObject = nullptr;
    CanUnloadFn canUnloadNow = nullptr;
    IClassFactory* factory = nullptr;
};

TEST_F(ComRules, ClassObjectIsHandedOutOnlyForOurClassAsFactory) {
    void* out = kUntouched;
    EXPECT_EQ(getClassObject(CLSID_QvK9Asio, kOtherInterface, &out), E_NOINTERFACE);
    EXPECT_EQ(getClassObject(kOtherClass, kOtherInterface, &out), E_NOINTERFACE);
    EXPECT_EQ(out, kUntouched);
    EXPECT_EQ(getClassObject(kOtherClass, IID_IClassFactory, &out), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(getClassObject(CLSID_QvK9Asio, IID_IClassFactory, nullptr), E_POINTER);

    IUnknown* plain = nullptr;
    ASSERT_EQ(getClassObject(CLSID_QvK9Asio, IID_IUnknown, reinterpret_cast<void**>(&plain)), S_OK);
    // Factories do not hold the module.
    EXPECT_EQ(canUnloadNow(), S_OK);
    EXPECT_EQ(plain->Release(), 0u);
}

TEST_F(ComRules, FactoryInterfacesCountsAndLocks) {
    EXPECT_EQ(factory->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
    void* out = kUntouched;
    EXPECT_EQ(factory->QueryInterface(kOtherInterface, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    for (const IID* riid : {&IID_IUnknown, &IID_IClassFactory}) {
        ASSERT_EQ(factory->QueryInterface(*riid, &out), S_OK);
        EXPECT_EQ(out, static_cast<void*>(factory));
        EXPECT_EQ(factory->Release(), 1u);
    }
    EXPECT_EQ(factory->AddRef(), 2u);
    EXPECT_EQ(factory->Release(), 1u);

    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    factory->LockServer(TRUE);
    EXPECT_EQ(canUnloadNow(), S_FALSE);
    factory->LockServer(FALSE);
    EXPECT_EQ(canUnloadNow(), S_FALSE);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    EXPECT_EQ(canUnloadNow(), S_OK);
}

TEST_F(ComRules, CreateInstanceRefusesBadRequestsWithoutLeavingAnObject) {
    CountingOuter outer;
    EXPECT_EQ(factory->CreateInstance(nullptr, CLSID_QvK9Asio, nullptr), E_POINTER);
    void* out = kUntouched;
    EXPECT_EQ(factory->CreateInstance(&outer, CLSID_QvK9Asio, &out), E_NOINTERFACE);
    EXPECT_EQ(out, kUntouched);
    // The object is made, then found not to have the interface: it must go again.
    EXPECT_EQ(factory->CreateInstance(nullptr, kOtherInterface, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(canUnloadNow(), S_OK);
    EXPECT_EQ(outer.addRefs + outer.releases + outer.queries, 0);
}

TEST_F(ComRules, StandaloneDriverHasOneIdentityAndOneLifetime) {
    IASIO* driver = nullptr;
    ASSERT_EQ(factory->CreateInstance(nullptr, CLSID_QvK9Asio, reinterpret_cast<void**>(&driver)),
              S_OK);
    EXPECT_EQ(canUnloadNow(), S_FALSE);

    IUnknown* identity = nullptr;
    ASSERT_EQ(driver->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)), S_OK);
    IASIO* again = nullptr;
    ASSERT_EQ(identity->QueryInterface(CLSID_QvK9Asio, reinterpret_cast<void**>(&again)), S_OK);
    EXPECT_EQ(again, driver);
    void* out = kUntouched;
    EXPECT_EQ(driver->QueryInterface(kOtherInterface, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(identity->QueryInterface(CLSID_QvK9Asio, nullptr), E_POINTER);

    // Three references, released through either interface.
    EXPECT_EQ(again->Release(), 2u);
    EXPECT_EQ(identity->Release(), 1u);
    EXPECT_EQ(canUnloadNow(), S_FALSE);
    EXPECT_EQ(driver->Release(), 0u);
}

TEST_F(ComRules, AggregatedDriverDelegatesToItsOuterObject) {
    CountingOuter outer;
    IUnknown* inner = nullptr;
    ASSERT_EQ(factory->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&inner)),
              S_OK);
    ASSERT_NE(inner, nullptr);
    EXPECT_NE(inner, static_cast<IUnknown*>(&outer));
    EXPECT_EQ(outer.addRefs + outer.releases, 0);

    // The inner unknown hands out IASIO; its reference belongs to the outer object.
    IASIO* driver = nullptr;
    ASSERT_EQ(inner->QueryInterface(CLSID_QvK9Asio, reinterpret_cast<void**>(&driver)), S_OK);
    EXPECT_EQ(outer.addRefs, 1);
    driver->AddRef();
    driver->Release();
    driver->Release();
    EXPECT_EQ(outer.addRefs, 2);
    EXPECT_EQ(outer.releases, 2);
    void* out = nullptr;
    driver->QueryInterface(IID_IUnknown, &out);
    EXPECT_EQ(outer.queries, 1);

    char name[64] = {};
    driver->getDriverName(name);
    EXPECT_STREQ(name, "Quenvora-K9 USB Audio ASIO");

    // The inner count is the object's own; it dies once, on its last inner release.
    EXPECT_EQ(inner->AddRef(), 2u);
    EXPECT_EQ(inner->Release(), 1u);
    EXPECT_EQ(canUnloadNow(), S_FALSE);
    EXPECT_EQ(inner->Release(), 0u);
    EXPECT_EQ(canUnloadNow(), S_OK);
}

} // namespace

// Views of the simulated machine's state in this process: one per module that holds it.
int MachineStateViews() {
    int views = 0;
    MEMORY_BASIC_INFORMATION region = {};
    for (const char* at = nullptr; VirtualQuery(at, &region, sizeof(region)) == sizeof(region);
         at = static_cast<const char*>(region.BaseAddress) + region.RegionSize) {
        if (region.Type == MEM_MAPPED && region.RegionSize >= sizeof(sim::SimState))
            ++views;
    }
    return views;
}

// One session of a host that ends COM with it: load, an object initialised and released, unload.
void LoadUseAndUnload(const std::string& path) {
    HMODULE module = LoadLibraryA(path.c_str());
    ASSERT_NE(module, nullptr) << path;
    using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    auto getClassObject = reinterpret_cast<GetClassObjectFn>(
        reinterpret_cast<void (*)()>(GetProcAddress(module, "DllGetClassObject")));
    IClassFactory* factory = nullptr;
    ASSERT_EQ(getClassObject(CLSID_QvK9Asio, IID_IClassFactory, reinterpret_cast<void**>(&factory)),
              S_OK);
    IASIO* driver = nullptr;
    ASSERT_EQ(factory->CreateInstance(nullptr, CLSID_QvK9Asio, reinterpret_cast<void**>(&driver)),
              S_OK);
    driver->init(nullptr);
    driver->Release();
    factory->Release();
    ASSERT_TRUE(FreeLibrary(module));
    ASSERT_EQ(GetModuleHandleA(kDriverModuleName), nullptr) << "the module stayed loaded";
}

// A host that loads and unloads the driver for every session must not gain a view of the machine
// with each one: thousands of sessions ran the host out of file descriptors under Wine.
TEST(ComModule, LoadingAndUnloadingTheDriverAgainAndAgainLeavesNoViewBehind) {
    const int before = MachineStateViews();
    for (int cycle = 0; cycle < 8; ++cycle)
        LoadUseAndUnload(simDriverPath());
    EXPECT_EQ(MachineStateViews(), before);
}

// Thread-local slots free in this process (a process has 1088 in all).
size_t FreeThreadLocalSlots() {
    std::vector<DWORD> taken;
    for (DWORD slot; (slot = TlsAlloc()) != TLS_OUT_OF_INDEXES;)
        taken.push_back(slot);
    for (DWORD slot : taken)
        TlsFree(slot);
    return taken.size();
}

// The runtime that ships gives its thread-local slot back when the driver is unloaded; the test
// tree's keeps one per load, and at the thousandth load the host aborts. The long soak streams
// through the simulated driver the shipped 64-bit tree builds, with the runtime that ships.
TEST(ComModule, TheShippedRuntimeGivesItsThreadLocalSlotsBackAtEveryUnload) {
    const std::string shippedRuntimeDriver =
        testProgramFolder() + "..\\..\\win64\\bin\\sim\\" + kDriverModuleName;
    LoadUseAndUnload(shippedRuntimeDriver);
    const size_t before = FreeThreadLocalSlots();
    for (int cycle = 0; cycle < 20; ++cycle)
        LoadUseAndUnload(shippedRuntimeDriver);
    EXPECT_EQ(FreeThreadLocalSlots(), before);
}
