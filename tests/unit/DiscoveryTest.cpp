// init finding the device's endpoints on simulated machines of different shapes.
#include "InProcessDriver.h"

#include "asio/EndpointRing.h"
#include "common/NamedMapping.h"
#include "common/SharedBlockAccess.h"
#include "support/SimSystem.h"

#include <cstring>
#include <cwchar>

namespace {

constexpr wchar_t kOtherDevicePath[] =
    L"\\\\?\\HDAUDIO#FUNC_01&VEN_10EC&DEV_0888#4&2f0e&0&0001#{6994ad04-93ef}\\wave";

void setDevice(sim::SimWaveDevice& d, const wchar_t* path, const char* product) {
    std::wcsncpy(d.interfacePath, path, std::size(d.interfacePath) - 1);
    std::strncpy(d.productName, product, sizeof(d.productName) - 1);
}

class Discovery : public ::testing::Test {
protected:
    void SetUp() override {
        sim::resetToDefaults();
        useWindows7();
        clearDriverProfile();
    }
    void TearDown() override {
        driver.reset();
        sim::resetToDefaults();
        clearDriverProfile();
    }

    InProcessDriver driver;
};

bool ringExists(const char* name, size_t* size = nullptr) {
    HANDLE h = OpenFileMappingA(FILE_MAP_READ, FALSE, name);
    if (h == nullptr)
        return false;
    UniqueHandle mapping(h);
    UniqueView view(MapViewOfFile(h, FILE_MAP_READ, 0, 0, 0));
    MEMORY_BASIC_INFORMATION info = {};
    VirtualQuery(view.get(), &info, sizeof(info));
    if (size != nullptr)
        *size = info.RegionSize;
    return true;
}

} // namespace

TEST_F(Discovery, CreatesARingPerEndpointAndPublishesFriendlyNames) {
    ASSERT_TRUE(driver.create());
    ASSERT_EQ(driver->init(nullptr), ASIOTrue);
    size_t size = 0;
    ASSERT_TRUE(ringExists("Quenvora-K9_ASIO_Out_0", &size));
    EXPECT_GE(size, size_t{0x6000C});
    ASSERT_TRUE(ringExists("Quenvora-K9_ASIO_In_0"));

    SharedBlockAccess block;
    ASSERT_TRUE(block.open());
    ASSERT_NE(block.valid(), nullptr);
    EXPECT_EQ(block.raw()->outEndpointCount, 1);
    EXPECT_EQ(block.raw()->inEndpointCount, 1);
    // An NT 6 system: names come from device setup.
    EXPECT_STREQ(block.raw()->inEndpointNames[0], sim::kDefaultFriendlyName);
    EXPECT_STREQ(block.raw()->outEndpointNames[0], sim::kDefaultFriendlyName);

    driver.reset();
    EXPECT_FALSE(ringExists("Quenvora-K9_ASIO_Out_0")) << "released with the driver";
}

TEST_F(Discovery, OtherSystemsNameEndpointsByTheirProductName) {
    useVersion(VER_PLATFORM_WIN32_NT, 5, 1);
    ASSERT_TRUE(driver.create());
    ASSERT_EQ(driver->init(nullptr), ASIOTrue);
    SharedBlockAccess block;
    ASSERT_TRUE(block.open());
    EXPECT_STREQ(block.raw()->inEndpointNames[0], sim::kDefaultInProductName);
    EXPECT_STREQ(block.raw()->outEndpointNames[0], sim::kDefaultOutProductName);
}

TEST_F(Discovery, AnInstanceWithoutFriendlyNameIsNamedSo) {
    sim::state()->devNodes[0].friendlyName[0] = '\0';
    ASSERT_TRUE(driver.create());
    ASSERT_EQ(driver->init(nullptr), ASIOTrue);
    SharedBlockAccess block;
    ASSERT_TRUE(block.open());
    EXPECT_STREQ(block.raw()->inEndpointNames[0], "No Friendly Name");
}

TEST_F(Discovery, TakesTheFirstMatchingDeviceOnly) {
    sim::SimState* s = sim::state();
    s->inDeviceCount = 3;
    setDevice(s->inDevices[0], kOtherDevicePath, "Speakers");
    setDevice(s->inDevices[1], sim::kDefaultInPath, "first match");
    setDevice(s->inDevices[2], sim::kDefaultInPath, "second match");
    useVersion(VER_PLATFORM_WIN32_NT, 5, 1);
    ASSERT_TRUE(driver.create());
    ASSERT_EQ(driver->init(nullptr), ASIOTrue);
    EXPECT_EQ(driver.object().inEndpointCount, 1);
    EXPECT_EQ(driver.object().inWaveIds[0], 1u);
    SharedBlockAccess block;
    ASSERT_TRUE(block.open());
    EXPECT_STREQ(block.raw()->inEndpointNames[0], "first match");
}

TEST_F(Discovery, AnExistingRingIsOpenedAndZeroed) {
    NamedMapping leftOver = OpenOrCreateMapping("Quenvora-K9_ASIO_In_0", 0x6000C);
    ASSERT_TRUE(leftOver.mapped());
    auto* ring = static_cast<EndpointRing*>(leftOver.view.get());
    std::memset(ring, 0xAA, sizeof(EndpointRing));
    ASSERT_TRUE(driver.create());
    ASSERT_EQ(driver->init(nullptr), ASIOTrue);
    EXPECT_EQ(ring->readIndex, 0);
    EXPECT_EQ(ring->writeIndex, 0);
    EXPECT_EQ(ring->queuedCount, 0);
    EXPECT_EQ(ring->blocks[0][0], 0);
    EXPECT_EQ(ring->blocks[7][kRingBlockBytes - 1], 0);
}

TEST_F(Discovery, AForeignMappingTooSmallForARingIsNotUsed) {
    NamedMapping foreign = OpenOrCreateMapping("Quenvora-K9_ASIO_Out_0", 4096);
    ASSERT_TRUE(foreign.mapped());
    ASSERT_TRUE(driver.create());
    EXPECT_EQ(driver->init(nullptr), ASIOFalse);
}

TEST_F(Discovery, AMissingDirectionFailsInitUntilTheDeviceIsThere) {
    sim::state()->outDeviceCount = 0;
    ASSERT_TRUE(driver.create());
    EXPECT_EQ(driver->init(nullptr), ASIOFalse);
    char text[128] = {};
    driver->getErrorMessage(text);
    EXPECT_STREQ(text, "ASIO Driver open failure!");
    long in = -1, out = -1;
    driver->getChannels(&in, &out);
    EXPECT_EQ(in, 0);
    EXPECT_EQ(out, 0);
    EXPECT_FALSE(ringExists("Quenvora-K9_ASIO_In_0")) << "a failed init keeps no ring";

    sim::resetToDefaults();
    EXPECT_EQ(driver->init(nullptr), ASIOTrue) << "a failed init can be retried";
}

TEST_F(Discovery, SkipsDevicesItCannotIdentify) {
    sim::SimState* s = sim::state();
    s->inDeviceCount = 2;
    s->inDevices[0].interfacePath[0] = L'\0'; // answers no path at all
    setDevice(s->inDevices[1], L"\\\\?\\USB#VID_1852&PID_7022&MI_01", "no instance part");
    ASSERT_TRUE(driver.create());
    EXPECT_EQ(driver->init(nullptr), ASIOFalse)
        << "on NT 6 a path without an instance id is skipped";
}

TEST_F(Discovery, AnUnclassifiedSystemNeverOpens) {
    useVersion(VER_PLATFORM_WIN32_NT, 10, 0);
    ASSERT_TRUE(driver.create());
    EXPECT_EQ(driver->init(nullptr), ASIOFalse);
    char text[128] = {};
    driver->getErrorMessage(text);
    EXPECT_STREQ(text, "ASIO Driver open failure!");
    driver.reset();
    EXPECT_EQ(static_cast<int>(GetProfileIntA("QvK9AsioDrv", "SampleRate", -1)), -1)
        << "an empty object writes no settings";
}
