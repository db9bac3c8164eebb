// The IASIO operations of one driver object on the default simulated machine.
#include "InProcessDriver.h"

#include "common/SharedBlockAccess.h"

#include <cmath>
#include <cstring>
#include <vector>

namespace {

struct CallbackLog {
    std::vector<double> rateChanges;
    std::vector<long> messages;
    long supportsTimeInfo = 0;
};
CallbackLog* callbackLog = nullptr;

void onSwitch(long, ASIOBool) {}
void onRate(ASIOSampleRate rate) {
    callbackLog->rateChanges.push_back(rate);
}
long onMessage(long selector, long, void*, double*) {
    callbackLog->messages.push_back(selector);
    return selector == kAsioSupportsTimeInfo ? callbackLog->supportsTimeInfo : 0;
}
ASIOTime* onSwitchTimeInfo(ASIOTime* t, long, ASIOBool) {
    return t;
}

class DriverObject : public ::testing::Test {
protected:
    void SetUp() override {
        sim::resetToDefaults();
        clearDriverProfile();
        callbackLog = &log;
        ASSERT_TRUE(driver.create());
    }
    void TearDown() override {
        driver.reset();
        clearDriverProfile();
        callbackLog = nullptr;
    }

    // One input and one output channel, or the given infos.
    ASIOError create(long frames,
                     std::vector<ASIOBufferInfo> infos = {{ASIOTrue, 0, {}}, {ASIOFalse, 0, {}}}) {
        bufferInfos = std::move(infos);
        return driver->createBuffers(bufferInfos.data(), static_cast<long>(bufferInfos.size()),
                                     frames, &callbacks);
    }

    CallbackLog log;
    ASIOCallbacks callbacks{onSwitch, onRate, onMessage, onSwitchTimeInfo};
    std::vector<ASIOBufferInfo> bufferInfos;
    InProcessDriver driver;
};

} // namespace

TEST_F(DriverObject, OffersTwoChannelsEachOnlyAfterInit) {
    long in = -1, out = -1;
    EXPECT_EQ(driver->getChannels(&in, &out), ASE_OK);
    EXPECT_EQ(in, 0);
    EXPECT_EQ(out, 0);
    EXPECT_EQ(driver->init(nullptr), ASIOTrue);
    EXPECT_EQ(driver->init(GetDesktopWindow()), ASIOTrue) << "a second init is a no-op";
    EXPECT_EQ(driver->getChannels(&in, &out), ASE_OK);
    EXPECT_EQ(in, 2);
    EXPECT_EQ(out, 2);

    char name[64];
    std::memset(name, 'x', sizeof(name));
    driver->getDriverName(name);
    EXPECT_STREQ(name, "Quenvora-K9 USB Audio ASIO");
    EXPECT_EQ(driver->getDriverVersion(), 1);
    EXPECT_EQ(driver->outputReady(), ASE_NotPresent);
}

TEST_F(DriverObject, RejectsNullResultPointersInsteadOfCrashing) {
    long a = 0;
    EXPECT_EQ(driver->getChannels(nullptr, &a), ASE_InvalidParameter);
    EXPECT_EQ(driver->getLatencies(&a, nullptr), ASE_InvalidParameter);
    EXPECT_EQ(driver->getBufferSize(&a, &a, nullptr, &a), ASE_InvalidParameter);
    EXPECT_EQ(driver->getSampleRate(nullptr), ASE_InvalidParameter);
    EXPECT_EQ(driver->getClockSources(nullptr, &a), ASE_InvalidParameter);
    EXPECT_EQ(driver->getSamplePosition(nullptr, nullptr), ASE_InvalidParameter);
    EXPECT_EQ(driver->getChannelInfo(nullptr), ASE_InvalidParameter);
    EXPECT_EQ(driver->createBuffers(nullptr, 2, 256, &callbacks), ASE_InvalidParameter);
    driver->getDriverName(nullptr);
    driver->getErrorMessage(nullptr);
}

TEST_F(DriverObject, LatenciesFollowTheBufferSet) {
    ASSERT_EQ(driver->init(nullptr), ASIOTrue);
    long in = 0, out = 0;
    driver->getLatencies(&in, &out);
    EXPECT_EQ(in, 6144);
    EXPECT_EQ(out, 12288);
    ASSERT_EQ(create(256), ASE_OK);
    driver->getLatencies(&in, &out);
    EXPECT_EQ(in, 256);
    EXPECT_EQ(out, 5 * 256);
    EXPECT_EQ(driver->disposeBuffers(), ASE_OK);
}

TEST_F(DriverObject, CreateBuffersKeepsToTheLimitsAndOneSetAtATime) {
    ASSERT_EQ(driver->init(nullptr), ASIOTrue);
    EXPECT_EQ(create(127), ASE_InvalidParameter);
    EXPECT_EQ(create(6145), ASE_InvalidParameter);
    for (long frames : {128L, 6144L, 200L}) {
        ASSERT_EQ(create(frames), ASE_OK) << frames;
        // The second half follows the first by one half of samples of the current width.
        EXPECT_EQ(static_cast<BYTE*>(bufferInfos[0].buffers[1]) -
                      static_cast<BYTE*>(bufferInfos[0].buffers[0]),
                  frames * 2);
        EXPECT_EQ(create(frames), ASE_InvalidParameter) << "a buffer set exists";
        EXPECT_EQ(driver->disposeBuffers(), ASE_OK);
    }
}

TEST_F(DriverObject, CreateBuffersWithABadChannelKeepsNothing) {
    ASSERT_EQ(driver->init(nullptr), ASIOTrue);
    EXPECT_EQ(create(256, {{ASIOTrue, 0, {}}, {ASIOTrue, 2, {}}}), ASE_InvalidParameter);
    EXPECT_EQ(create(256, {{ASIOFalse, -1, {}}}), ASE_InvalidParameter);
    // More entries than channels offered, even naming valid channels.
    EXPECT_EQ(create(256, {{ASIOTrue, 0, {}}, {ASIOTrue, 1, {}}, {ASIOTrue, 0, {}}}),
              ASE_InvalidParameter);
    ASIOChannelInfo info{0, ASIOTrue};
    ASSERT_EQ(driver->getChannelInfo(&info), ASE_OK);
    EXPECT_EQ(info.isActive, ASIOFalse) << "nothing of the failed set is kept";
    EXPECT_EQ(create(256), ASE_OK) << "a failed set does not block the next";
    driver->disposeBuffers();
}

TEST_F(DriverObject, AcceptsExactlyTheRateSet) {
    for (double rate :
         {44100.0, 48000.0, 96000.0, 22050.0, 8000.0, 11025.0, 16000.0, 32000.0, 88200.0})
        EXPECT_EQ(driver->canSampleRate(rate), ASE_OK) << rate;
    for (double rate : {44100.5, 0.0, -48000.0, 192000.0, 176400.0})
        EXPECT_EQ(driver->canSampleRate(rate), ASE_NoClock) << rate;
    EXPECT_EQ(driver->setSampleRate(44100.5), ASE_NoClock);
    double rate = 0;
    driver->getSampleRate(&rate);
    EXPECT_EQ(rate, 44100.0);
}

TEST_F(DriverObject, ARealRateChangeTellsTheHostAndARepeatDoesNot) {
    ASSERT_EQ(driver->init(nullptr), ASIOTrue);
    ASSERT_EQ(create(256), ASE_OK);
    log.messages.clear();
    EXPECT_EQ(driver->setSampleRate(48000.0), ASE_OK);
    ASSERT_EQ(log.rateChanges.size(), 1u);
    EXPECT_EQ(log.rateChanges[0], 48000.0);
    EXPECT_EQ(log.messages, std::vector<long>{kAsioResetRequest});
    EXPECT_EQ(driver->setSampleRate(48000.0), ASE_OK);
    EXPECT_EQ(log.rateChanges.size(), 1u);
    EXPECT_EQ(log.messages.size(), 1u);
    double rate = 0;
    driver->getSampleRate(&rate);
    EXPECT_EQ(rate, 48000.0);
    driver->disposeBuffers();
}

TEST_F(DriverObject, NullHostCallbacksAreNeverCalled) {
    ASSERT_EQ(driver->init(nullptr), ASIOTrue);
    ASIOCallbacks sparse{onSwitch, nullptr, nullptr, nullptr};
    ASIOBufferInfo infos[] = {{ASIOFalse, 0, {}}, {ASIOFalse, 1, {}}};
    ASSERT_EQ(driver->createBuffers(infos, 2, 256, &sparse), ASE_OK);
    EXPECT_EQ(driver->setSampleRate(96000.0), ASE_OK);
    driver->disposeBuffers();
}

TEST_F(DriverObject, TimeInfoIsPreparedWhenTheHostSupportsIt) {
    ASSERT_EQ(driver->init(nullptr), ASIOTrue);
    log.supportsTimeInfo = 1;
    ASSERT_EQ(create(512), ASE_OK);
    const ASIOTime& t = driver.object().timeRecord;
    EXPECT_EQ(t.timeInfo.speed, 1.0);
    EXPECT_EQ(t.timeInfo.sampleRate, 44100.0);
    EXPECT_EQ(t.timeInfo.flags, kSystemTimeValid | kSamplePositionValid | kSampleRateValid);
    EXPECT_EQ(t.timeCode.flags, kTcValid | kTcRunning);
    driver->disposeBuffers();
}

TEST_F(DriverObject, ChannelInfoNamesTypeAndActivity) {
    ASSERT_EQ(driver->init(nullptr), ASIOTrue);
    ASIOChannelInfo info{1, ASIOTrue};
    ASSERT_EQ(driver->getChannelInfo(&info), ASE_OK);
    EXPECT_STREQ(info.name, "Quenvora-K9_ASIO_In_0 (R)");
    EXPECT_EQ(info.type, ASIOSTInt16LSB);
    EXPECT_EQ(info.channelGroup, 0);
    EXPECT_EQ(info.isActive, ASIOFalse);
    info = {0, ASIOFalse};
    ASSERT_EQ(driver->getChannelInfo(&info), ASE_OK);
    EXPECT_STREQ(info.name, "Quenvora-K9_ASIO_Out_0 (L)");
    info = {2, ASIOTrue};
    EXPECT_EQ(driver->getChannelInfo(&info), ASE_InvalidParameter);
    info = {-1, ASIOFalse};
    EXPECT_EQ(driver->getChannelInfo(&info), ASE_InvalidParameter);

    ASSERT_EQ(create(256, {{ASIOTrue, 1, {}}, {ASIOFalse, 0, {}}}), ASE_OK);
    const struct {
        long channel;
        ASIOBool input;
        ASIOBool active;
    } expected[] = {{0, ASIOTrue, ASIOFalse},
                    {1, ASIOTrue, ASIOTrue},
                    {0, ASIOFalse, ASIOTrue},
                    {1, ASIOFalse, ASIOFalse}};
    for (const auto& e : expected) {
        info = {e.channel, e.input};
        ASSERT_EQ(driver->getChannelInfo(&info), ASE_OK);
        EXPECT_EQ(info.isActive, e.active) << e.channel << (e.input ? " in" : " out");
    }
    driver->disposeBuffers();
}

TEST_F(DriverObject, ChannelTypeFollowsTheWidthThePanelAsksFor) {
    ASSERT_EQ(driver->init(nullptr), ASIOTrue);
    SharedBlockAccess block;
    ASSERT_TRUE(block.open());
    ASSERT_NE(block.valid(), nullptr);
    const struct {
        int requested;
        ASIOSampleType type;
    } cases[] = {{24, ASIOSTInt24LSB},
                 {20, ASIOSTInt24LSB},
                 {32, ASIOSTInt32LSB},
                 {0, ASIOSTInt32LSB},
                 {16, ASIOSTInt16LSB}};
    for (const auto& c : cases) {
        block.raw()->requestedBits = c.requested;
        ASIOChannelInfo info{0, ASIOFalse};
        ASSERT_EQ(driver->getChannelInfo(&info), ASE_OK);
        EXPECT_EQ(info.type, c.type) << "requested " << c.requested;
        EXPECT_EQ(block.raw()->sampleBits, driver.object().sampleWidth);
    }
}

TEST_F(DriverObject, ANewWidthWaitsForTheNextBufferSet) {
    ASSERT_EQ(driver->init(nullptr), ASIOTrue);
    SharedBlockAccess block;
    ASSERT_TRUE(block.open());
    block.raw()->requestedBits = 16;
    ASSERT_EQ(create(256), ASE_OK);
    block.raw()->requestedBits = 32;
    ASIOChannelInfo info{0, ASIOFalse};
    ASSERT_EQ(driver->getChannelInfo(&info), ASE_OK);
    EXPECT_EQ(info.type, ASIOSTInt16LSB) << "the host's halves were laid out for 16 bits";
    driver->disposeBuffers();
    ASSERT_EQ(driver->getChannelInfo(&info), ASE_OK);
    EXPECT_EQ(info.type, ASIOSTInt32LSB);
    ASSERT_EQ(create(256), ASE_OK);
    EXPECT_EQ(static_cast<BYTE*>(bufferInfos[0].buffers[1]) -
                  static_cast<BYTE*>(bufferInfos[0].buffers[0]),
              256 * 4);
    driver->disposeBuffers();
}

TEST_F(DriverObject, PreferredSizeComesFromThePanelRoundedToTheGranularity) {
    SharedBlockAccess block;
    ASSERT_TRUE(block.open());
    block.raw()->useRequestedFrames = 1;
    block.raw()->requestedFrames = 1000;
    long mn = 0, mx = 0, pref = 0, gran = 0;
    ASSERT_EQ(driver->getBufferSize(&mn, &mx, &pref, &gran), ASE_OK);
    EXPECT_EQ(mn, 128);
    EXPECT_EQ(mx, 6144);
    EXPECT_EQ(gran, 32);
    EXPECT_EQ(pref, 992);
    EXPECT_EQ(block.raw()->preferredFrames, 992);
    block.raw()->requestedFrames = 5000;
    driver->getBufferSize(&mn, &mx, &pref, &gran);
    EXPECT_EQ(pref, 4992);
    // Out of range: the last accepted size stays.
    block.raw()->requestedFrames = 100;
    driver->getBufferSize(&mn, &mx, &pref, &gran);
    EXPECT_EQ(pref, 4992);
}

TEST_F(DriverObject, FutureSelectors) {
    for (long selector : std::initializer_list<long>{
             kAsioEnableTimeCodeRead, kAsioDisableTimeCodeRead, kAsioSetInputMonitor,
             kAsioCanInputMonitor, kAsioCanTimeInfo, kAsioCanTimeCode})
        EXPECT_EQ(driver->future(selector, nullptr), ASE_SUCCESS) << selector;
    for (long selector : std::initializer_list<long>{0L, kAsioTransport, kAsioSetInputGain,
                                                     kAsioGetOutputMeter, 12L, -1L})
        EXPECT_EQ(driver->future(selector, nullptr), ASE_NotPresent) << selector;
    driver->future(kAsioEnableTimeCodeRead, nullptr);
    EXPECT_TRUE(driver.object().timeCodeRead);
    driver->future(kAsioDisableTimeCodeRead, nullptr);
    EXPECT_FALSE(driver.object().timeCodeRead);
}

TEST_F(DriverObject, ClockIsInternalOnly) {
    ASIOClockSource clocks[2] = {};
    long count = 0;
    ASSERT_EQ(driver->getClockSources(clocks, &count), ASE_OK);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(clocks[0].index, 0);
    EXPECT_EQ(clocks[0].associatedChannel, -1);
    EXPECT_EQ(clocks[0].associatedGroup, -1);
    EXPECT_EQ(clocks[0].isCurrentSource, ASIOTrue);
    EXPECT_STREQ(clocks[0].name, "Internal");
    EXPECT_EQ(driver->setClockSource(0), ASE_OK);
    EXPECT_TRUE(driver.object().timeRecord.timeInfo.flags & kClockSourceChanged);
    EXPECT_EQ(driver->setClockSource(1), ASE_NotPresent);
}

TEST_F(DriverObject, SamplePositionSplitsIntoWordsAbove2To32) {
    const double twoTo32 = 4294967296.0;
    driver.object().position.write({3 * twoTo32 + 5, 7, 9});
    ASIOSamples pos{};
    ASIOTimeStamp stamp{};
    ASSERT_EQ(driver->getSamplePosition(&pos, &stamp), ASE_OK);
    EXPECT_EQ(pos.hi, 3u);
    EXPECT_EQ(pos.lo, 5u);
    EXPECT_EQ(stamp.hi, 7u);
    EXPECT_EQ(stamp.lo, 9u);
    driver.object().position.write({twoTo32 - 1, 0, 0});
    driver->getSamplePosition(&pos, &stamp);
    EXPECT_EQ(pos.hi, 0u);
    EXPECT_EQ(pos.lo, 0xFFFFFFFFu);
}

TEST_F(DriverObject, StartNeedsABufferSetAndCallbacks) {
    ASSERT_EQ(driver->init(nullptr), ASIOTrue);
    SharedBlockAccess block;
    ASSERT_TRUE(block.open());
    EXPECT_EQ(driver->start(), ASE_NotPresent);
    EXPECT_EQ(block.raw()->streamRunning, 1) << "set on entry, even when start fails";
    EXPECT_EQ(driver->stop(), ASE_OK);
    EXPECT_EQ(block.raw()->streamRunning, 0);
    ASIOBufferInfo infos[] = {{ASIOFalse, 0, {}}};
    ASSERT_EQ(driver->createBuffers(infos, 1, 256, nullptr), ASE_OK);
    EXPECT_EQ(driver->start(), ASE_NotPresent) << "no callbacks to call";
    EXPECT_EQ(driver->stop(), ASE_OK) << "stop in any state";
    driver->disposeBuffers();
}
