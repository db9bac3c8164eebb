// Two host processes and one device: the endpoint rings are named memory every process can
// open, and a second host must not take them from under a first one's stream. A ring left
// behind by a host that is gone is taken over.
#include "common/AsioSharedBlock.h"
#include "common/NamedMapping.h"
#include "common/SharedBlockAccess.h"
#include "common/UniqueResource.h"
#include "sim/SimDeviceState.h"
#include "support/DriverProfile.h"
#include "support/RegisteredDriver.h"
#include "support/TestProcess.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>

namespace {

constexpr DWORD kRingBlockBytes = 0xC000;
constexpr DWORD kRingBytes = 0x6000C;
constexpr DWORD kHeaderBytes = 12;
// Exit code of the test host when the driver cannot be opened.
constexpr DWORD kHostDriverFailure = 1;

std::atomic<long> switches{0};
void countSwitch(long, ASIOBool) {
    ++switches;
}
long noMessages(long, long, void*, double*) {
    return 0;
}
ASIOCallbacks counting{countSwitch, nullptr, noMessages, nullptr};

bool switchesAdvance() {
    const long before = switches.load();
    return waitUntil([&] { return switches.load() >= before + 5; }, 5000);
}

DWORD runSecondHost() {
    DWORD code = 99;
    EXPECT_TRUE(runAndWait("\"" + asioHostPath() + "\" info --null-window", 60000, &code));
    return code;
}

class SecondHost : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(registerDriver(simDriverPath())); }
    void SetUp() override {
        sim::resetToDefaults();
        clearDriverProfile();
    }
    void TearDown() override {
        driver.release();
        clearDriverProfile();
    }

    ComApartment com;
    RegisteredDriver driver;
};

} // namespace

TEST_F(SecondHost, CannotOpenTheDeviceUnderAStreamingHost) {
    ASSERT_EQ(driver.create(), S_OK);
    ASSERT_EQ(driver->init(nullptr), ASIOTrue);
    // Outputs only: the input ring is held by this host but no stream writes it, so a mark left
    // there shows whether anybody zeroed the ring.
    ASIOBufferInfo infos[] = {{ASIOFalse, 0, {}}, {ASIOFalse, 1, {}}};
    ASSERT_EQ(driver->createBuffers(infos, 2, 256, &counting), ASE_OK);
    ASSERT_EQ(driver->start(), ASE_OK);
    ASSERT_TRUE(switchesAdvance());

    NamedMapping inRing = OpenOrCreateMapping("Quenvora-K9_ASIO_In_0", kRingBytes);
    ASSERT_TRUE(inRing.mapped());
    ASSERT_FALSE(inRing.created);
    auto* bytes = static_cast<uint8_t*>(inRing.view.get());
    bytes[kHeaderBytes + 3 * kRingBlockBytes + 100] = 0xA5;
    std::memset(bytes, 0x01, 4); // read index 1
    SharedBlockAccess block;
    ASSERT_TRUE(block.open());
    ASSERT_NE(block.valid(), nullptr);
    const AsioSharedBlock before = *block.raw();

    EXPECT_EQ(runSecondHost(), kHostDriverFailure) << "the second host's init fails";

    EXPECT_EQ(bytes[kHeaderBytes + 3 * kRingBlockBytes + 100], 0xA5) << "the ring was zeroed";
    EXPECT_EQ(bytes[0], 0x01) << "the ring's indexes were reset";
    EXPECT_TRUE(switchesAdvance()) << "the first host still streams";
    const AsioSharedBlock& after = *block.raw();
    EXPECT_EQ(after.driverLoaded, 1);
    EXPECT_EQ(after.streamRunning, 1);
    EXPECT_EQ(after.bufferFrames, 256);
    EXPECT_EQ(after.outputChannelsInUse, 2);
    EXPECT_EQ(after.sampleRate, before.sampleRate);
    EXPECT_EQ(after.preferredFrames, before.preferredFrames);

    EXPECT_EQ(driver->stop(), ASE_OK);
    EXPECT_EQ(driver->disposeBuffers(), ASE_OK);
    driver.release();
    EXPECT_EQ(runSecondHost(), 0u) << "once the first host lets go, the device is free";
}

TEST_F(SecondHost, RingsOfAHostThatDiedAreTakenOver) {
    // A host that streams and is then killed, as a crashing host would be.
    UniqueHandle process =
        startProcess("\"" + asioHostPath() + "\" probe --seconds 60 --null-window");
    ASSERT_TRUE(process.valid());
    // Its rings are held once it has opened the driver.
    ASSERT_TRUE(waitUntil(
        [] {
            return UniqueHandle(OpenEventA(SYNCHRONIZE, FALSE, "Quenvora-K9_ASIO_Out_0 Claim"))
                .valid();
        },
        30000));
    // Keep its output ring alive past its end, as another process holding the name would.
    NamedMapping leftOver = OpenOrCreateMapping("Quenvora-K9_ASIO_Out_0", kRingBytes);
    ASSERT_TRUE(leftOver.mapped());
    Sleep(300);
    TerminateProcess(process.get(), 9);
    ASSERT_EQ(WaitForSingleObject(process.get(), 10000), WAIT_OBJECT_0);
    auto* bytes = static_cast<uint8_t*>(leftOver.view.get());
    std::memset(bytes + kHeaderBytes, 0x5A, 16);

    ASSERT_EQ(driver.create(), S_OK);
    EXPECT_EQ(driver->init(nullptr), ASIOTrue) << "the dead host's claim went with it";
    EXPECT_EQ(bytes[kHeaderBytes], 0) << "the ring left behind was zeroed";
}
