// The simulated machine the driver runs on in tests and in the demo: its wave devices answer as
// the wave functions do, its clock keeps real time, and its output comes back at its input.
#include "ports/DeviceSetup.h"
#include "ports/SystemFacts.h"
#include "ports/WaveEndpoints.h"
#include "sim/SimDeviceState.h"
#include "support/TestProcess.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace {

constexpr UINT kQueryInterface = 0x80C;
constexpr UINT kQueryInterfaceSize = 0x80D;
constexpr DWORD kWaitMs = 5000;
constexpr GUID kKsCategoryAudio = {
    0x6994AD04, 0x93EF, 0x11D0, {0xA3, 0xCC, 0x00, 0xA0, 0xC9, 0x22, 0x31, 0x96}};
constexpr GUID kSubtypeIeeeFloat = {
    0x00000003, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
constexpr GUID kSubtypePcm = {
    0x00000001, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};

WaveEndpoints& wave() {
    return waveEndpoints();
}

WAVEFORMATEXTENSIBLE extensible(DWORD rate, WORD bits) {
    WAVEFORMATEXTENSIBLE f = {};
    f.Format.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
    f.Format.nChannels = 2;
    f.Format.nSamplesPerSec = rate;
    f.Format.nBlockAlign = static_cast<WORD>(bits / 8 * 2);
    f.Format.nAvgBytesPerSec = rate * f.Format.nBlockAlign;
    f.Format.wBitsPerSample = bits;
    f.Format.cbSize = 22;
    f.Samples.wValidBitsPerSample = bits;
    f.dwChannelMask = 3;
    f.SubFormat = kSubtypePcm;
    return f;
}

WAVEFORMATEX pcm(DWORD rate, WORD bits) {
    WAVEFORMATEX f = extensible(rate, bits).Format;
    f.wFormatTag = WAVE_FORMAT_PCM;
    f.cbSize = 0;
    return f;
}

const WAVEFORMATEX* asFormat(const WAVEFORMATEXTENSIBLE& f) {
    return &f.Format;
}

DWORD flagsOf(const WAVEHDR& h) {
    return *static_cast<const volatile DWORD*>(&h.dwFlags);
}
DWORD recordedOf(const WAVEHDR& h) {
    return *static_cast<const volatile DWORD*>(&h.dwBytesRecorded);
}

// What one wave notice told, and where it arrived.
struct Notice {
    UINT msg;
    const WAVEHDR* header;
    DWORD thread;
    int priority;
    DWORD flags;
};

class NoticeLog {
public:
    static void CALLBACK procedure(HDRVR, UINT msg, DWORD_PTR instance, DWORD_PTR param,
                                   DWORD_PTR) {
        auto* log = reinterpret_cast<NoticeLog*>(instance);
        const auto* header = reinterpret_cast<const WAVEHDR*>(param);
        const Notice n{msg, header, GetCurrentThreadId(), GetThreadPriority(GetCurrentThread()),
                       header != nullptr ? flagsOf(*header) : 0};
        std::lock_guard<std::mutex> hold(log->lock_);
        log->notices_.push_back(n);
    }
    DWORD_PTR callback() const { return reinterpret_cast<DWORD_PTR>(&NoticeLog::procedure); }
    DWORD_PTR instance() { return reinterpret_cast<DWORD_PTR>(this); }

    std::vector<Notice> notices() {
        std::lock_guard<std::mutex> hold(lock_);
        return notices_;
    }
    std::vector<Notice> of(UINT msg) {
        std::vector<Notice> picked;
        for (const Notice& n : notices())
            if (n.msg == msg)
                picked.push_back(n);
        return picked;
    }

private:
    std::mutex lock_;
    std::vector<Notice> notices_;
};

struct Block {
    explicit Block(size_t bytes, uint8_t fill = 0) : data(bytes, fill) {
        header.lpData = reinterpret_cast<LPSTR>(data.data());
        header.dwBufferLength = static_cast<DWORD>(bytes);
    }
    std::vector<uint8_t> data;
    WAVEHDR header = {};
};

// An open output of the simulated device; whatever a failed check left behind is cleaned up.
class TestOut {
public:
    ~TestOut() { close(); }
    MMRESULT open(const WAVEFORMATEX* format, NoticeLog* log = nullptr, UINT id = 0) {
        return wave().outOpen(&handle, id, format, log ? log->callback() : 0,
                              log ? log->instance() : 0, log ? CALLBACK_FUNCTION : CALLBACK_NULL);
    }
    Block& block(size_t bytes, uint8_t fill = 0) {
        blocks.push_back(std::make_unique<Block>(bytes, fill));
        EXPECT_EQ(wave().outPrepareHeader(handle, &blocks.back()->header, sizeof(WAVEHDR)),
                  MMSYSERR_NOERROR);
        return *blocks.back();
    }
    MMRESULT write(Block& b) { return wave().outWrite(handle, &b.header, sizeof(WAVEHDR)); }
    MMRESULT close() {
        if (handle == nullptr)
            return MMSYSERR_NOERROR;
        wave().outReset(handle);
        for (auto& b : blocks)
            wave().outUnprepareHeader(handle, &b->header, sizeof(WAVEHDR));
        const MMRESULT r = wave().outClose(handle);
        handle = nullptr;
        return r;
    }
    HWAVEOUT handle = nullptr;
    std::vector<std::unique_ptr<Block>> blocks;
};

class TestIn {
public:
    ~TestIn() { close(); }
    MMRESULT open(const WAVEFORMATEX* format, NoticeLog* log = nullptr, UINT id = 0) {
        return wave().inOpen(&handle, id, format, log ? log->callback() : 0,
                             log ? log->instance() : 0, log ? CALLBACK_FUNCTION : CALLBACK_NULL);
    }
    Block& block(size_t bytes) {
        blocks.push_back(std::make_unique<Block>(bytes, 0xEE));
        EXPECT_EQ(wave().inPrepareHeader(handle, &blocks.back()->header, sizeof(WAVEHDR)),
                  MMSYSERR_NOERROR);
        return *blocks.back();
    }
    MMRESULT add(Block& b) { return wave().inAddBuffer(handle, &b.header, sizeof(WAVEHDR)); }
    MMRESULT close() {
        if (handle == nullptr)
            return MMSYSERR_NOERROR;
        wave().inStop(handle);
        wave().inReset(handle);
        for (auto& b : blocks)
            wave().inUnprepareHeader(handle, &b->header, sizeof(WAVEHDR));
        const MMRESULT r = wave().inClose(handle);
        handle = nullptr;
        return r;
    }
    HWAVEIN handle = nullptr;
    std::vector<std::unique_ptr<Block>> blocks;
};

bool allDone(const std::vector<std::unique_ptr<Block>>& blocks) {
    for (const auto& b : blocks)
        if (!(flagsOf(b->header) & WHDR_DONE))
            return false;
    return true;
}

// Every byte nonzero and differing from frame to frame, so a slip of one byte shows.
std::vector<uint8_t> signal(size_t frames, size_t frameBytes) {
    std::vector<uint8_t> s(frames * frameBytes);
    for (size_t i = 0; i < s.size(); ++i)
        s[i] = static_cast<uint8_t>(1 + (i * 7 + i / frameBytes * 13) % 255);
    return s;
}

std::vector<uint8_t> playedRecord() {
    const sim::SimState* s = sim::state();
    return std::vector<uint8_t>(s->played, s->played + s->playedBytes);
}

class SimMachine : public ::testing::Test {
protected:
    void SetUp() override { sim::resetToDefaults(); }
    void TearDown() override { sim::resetToDefaults(); }
};

} // namespace

TEST_F(SimMachine, EnumeratesTheDeviceAsTheWaveFunctionsDo) {
    ASSERT_EQ(wave().outGetNumDevs(), 1u);
    ASSERT_EQ(wave().inGetNumDevs(), 1u);

    ULONG size = 0;
    ASSERT_EQ(wave().outMessage(0, kQueryInterfaceSize, reinterpret_cast<DWORD_PTR>(&size), 0),
              MMSYSERR_NOERROR);
    EXPECT_EQ(size, (std::wcslen(sim::kDefaultOutPath) + 1) * sizeof(wchar_t));
    std::vector<wchar_t> path(size / sizeof(wchar_t) + 4, L'#');
    ASSERT_EQ(wave().outMessage(0, kQueryInterface, reinterpret_cast<DWORD_PTR>(path.data()), size),
              MMSYSERR_NOERROR);
    EXPECT_STREQ(path.data(), sim::kDefaultOutPath);
    EXPECT_EQ(path[size / sizeof(wchar_t)], L'#') << "wrote past the size it asked for";

    // A buffer too small is filled only as far as it reaches, terminated, and the call says so.
    std::vector<wchar_t> small(12, L'#');
    EXPECT_NE(wave().inMessage(0, kQueryInterface, reinterpret_cast<DWORD_PTR>(small.data()),
                               8 * sizeof(wchar_t)),
              MMSYSERR_NOERROR);
    EXPECT_EQ(small[7], L'\0');
    EXPECT_EQ(small[8], L'#');

    sim::state()->inDevices[0].interfacePath[0] = L'\0';
    size = 99;
    EXPECT_EQ(wave().inMessage(0, kQueryInterfaceSize, reinterpret_cast<DWORD_PTR>(&size), 0),
              MMSYSERR_NOERROR);
    EXPECT_EQ(size, 0u) << "a device without a path answers size 0";
    EXPECT_EQ(wave().inMessage(1, kQueryInterfaceSize, reinterpret_cast<DWORD_PTR>(&size), 0),
              MMSYSERR_BADDEVICEID);
    EXPECT_EQ(wave().inMessage(0, kQueryInterfaceSize, 0, 0), MMSYSERR_INVALPARAM);

    WAVEOUTCAPSA outCaps = {};
    ASSERT_EQ(wave().outGetDevCaps(0, &outCaps, sizeof(outCaps)), MMSYSERR_NOERROR);
    EXPECT_STREQ(outCaps.szPname, sim::kDefaultOutProductName);
    EXPECT_EQ(outCaps.wChannels, 2);
    EXPECT_NE(outCaps.dwFormats & WAVE_FORMAT_48S16, 0u);
    WAVEINCAPSA inCaps = {};
    ASSERT_EQ(wave().inGetDevCaps(0, &inCaps, sizeof(inCaps)), MMSYSERR_NOERROR);
    EXPECT_STREQ(inCaps.szPname, sim::kDefaultInProductName);
    EXPECT_EQ(wave().inGetDevCaps(1, &inCaps, sizeof(inCaps)), MMSYSERR_BADDEVICEID);
    EXPECT_EQ(wave().inGetDevCaps(0, nullptr, sizeof(inCaps)), MMSYSERR_INVALPARAM);
}

TEST_F(SimMachine, OpensOnlyTheStereoPcmFormatsItCanRun) {
    struct Case {
        const char* what;
        WAVEFORMATEXTENSIBLE format;
        MMRESULT expected;
    };
    std::vector<Case> cases = {
        {"PCM 16 bit 48 kHz", extensible(48000, 16), MMSYSERR_NOERROR},
        {"extensible 24 bit 96 kHz", extensible(96000, 24), MMSYSERR_NOERROR},
        {"extensible 16 bit 8 kHz", extensible(8000, 16), MMSYSERR_NOERROR},
        {"32 bit", extensible(48000, 32), WAVERR_BADFORMAT},
        {"8 bit", extensible(48000, 8), WAVERR_BADFORMAT},
        {"192 kHz", extensible(192000, 24), WAVERR_BADFORMAT},
        {"7999 Hz", extensible(7999, 16), WAVERR_BADFORMAT},
    };
    cases[0].format.Format.wFormatTag = WAVE_FORMAT_PCM;
    Case mono{"mono", extensible(48000, 16), WAVERR_BADFORMAT};
    mono.format.Format.nChannels = 1;
    Case skewed{"block align not two samples", extensible(48000, 24), WAVERR_BADFORMAT};
    skewed.format.Format.nBlockAlign = 8;
    Case floats{"float samples", extensible(48000, 24), WAVERR_BADFORMAT};
    floats.format.SubFormat = kSubtypeIeeeFloat;
    Case valid{"more valid bits than the container", extensible(48000, 16), WAVERR_BADFORMAT};
    valid.format.Samples.wValidBitsPerSample = 24;
    Case shortExtra{"extensible without its extra bytes", extensible(48000, 16), WAVERR_BADFORMAT};
    shortExtra.format.Format.cbSize = 0;
    cases.insert(cases.end(), {mono, skewed, floats, valid, shortExtra});

    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        sim::clearRecord();
        // A query answers without opening anything.
        EXPECT_EQ(wave().outOpen(nullptr, 0, asFormat(c.format), 0, 0, WAVE_FORMAT_QUERY),
                  c.expected);
        EXPECT_EQ(sim::state()->outOpenCount, 0);
        TestIn in;
        EXPECT_EQ(in.open(asFormat(c.format)), c.expected);
        EXPECT_EQ(sim::state()->inOpenCount, c.expected == MMSYSERR_NOERROR ? 1 : 0);
        if (c.expected == MMSYSERR_NOERROR) {
            EXPECT_EQ(std::memcmp(&sim::state()->lastInFormat.Format, &c.format.Format,
                                  sizeof(PCMWAVEFORMAT)),
                      0);
        } else {
            EXPECT_EQ(in.handle, nullptr);
        }
    }

    HWAVEOUT h = nullptr;
    EXPECT_EQ(wave().outOpen(&h, 0, nullptr, 0, 0, 0), MMSYSERR_INVALPARAM);
    const WAVEFORMATEX plain = pcm(48000, 16);
    EXPECT_EQ(wave().outOpen(&h, 1, &plain, 0, 0, 0), MMSYSERR_BADDEVICEID);
    EXPECT_EQ(wave().outOpen(nullptr, 0, &plain, 0, 0, 0), MMSYSERR_INVALPARAM);
}

TEST_F(SimMachine, HandlesAndHeadersFollowTheWaveRules) {
    const WAVEFORMATEX format = pcm(48000, 16);
    NoticeLog log;
    TestOut out;
    ASSERT_EQ(out.open(&format, &log), MMSYSERR_NOERROR);
    TestOut second;
    EXPECT_EQ(second.open(&format), MMSYSERR_ALLOCATED) << "the device has one output stream";

    TestIn in;
    ASSERT_EQ(in.open(&format), MMSYSERR_NOERROR);
    auto asOut = reinterpret_cast<HWAVEOUT>(in.handle);
    Block stray(4800);
    EXPECT_EQ(wave().outPrepareHeader(asOut, &stray.header, sizeof(WAVEHDR)), MMSYSERR_INVALHANDLE)
        << "an input handle is no output handle";
    EXPECT_EQ(wave().outWrite(reinterpret_cast<HWAVEOUT>(&stray), &stray.header, sizeof(WAVEHDR)),
              MMSYSERR_INVALHANDLE);
    EXPECT_EQ(wave().outReset(nullptr), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(wave().inStart(reinterpret_cast<HWAVEIN>(out.handle)), MMSYSERR_INVALHANDLE);

    EXPECT_EQ(out.write(stray), WAVERR_UNPREPARED);
    EXPECT_EQ(wave().outPrepareHeader(out.handle, nullptr, sizeof(WAVEHDR)), MMSYSERR_INVALPARAM);
    EXPECT_EQ(wave().outPrepareHeader(out.handle, &stray.header, sizeof(WAVEHDR) - 4),
              MMSYSERR_INVALPARAM);

    // Two seconds each: nothing finishes while the rules are looked at.
    Block& first = out.block(48000 * 4 * 2);
    Block& next = out.block(48000 * 4 * 2);
    EXPECT_EQ(flagsOf(first.header) & WHDR_PREPARED, static_cast<DWORD>(WHDR_PREPARED));
    ASSERT_EQ(out.write(first), MMSYSERR_NOERROR);
    ASSERT_EQ(out.write(next), MMSYSERR_NOERROR);
    EXPECT_EQ(flagsOf(first.header) & (WHDR_INQUEUE | WHDR_DONE), static_cast<DWORD>(WHDR_INQUEUE));
    EXPECT_EQ(out.write(first), WAVERR_STILLPLAYING) << "a queued header cannot be queued again";
    EXPECT_EQ(wave().outUnprepareHeader(out.handle, &first.header, sizeof(WAVEHDR)),
              WAVERR_STILLPLAYING);
    EXPECT_EQ(wave().outClose(out.handle), WAVERR_STILLPLAYING);

    ASSERT_EQ(wave().outReset(out.handle), MMSYSERR_NOERROR);
    EXPECT_EQ(flagsOf(first.header) & (WHDR_INQUEUE | WHDR_DONE), static_cast<DWORD>(WHDR_DONE));
    EXPECT_EQ(wave().outUnprepareHeader(out.handle, &first.header, sizeof(WAVEHDR)),
              MMSYSERR_NOERROR);
    EXPECT_EQ(flagsOf(first.header) & WHDR_PREPARED, 0u);
    EXPECT_EQ(out.close(), MMSYSERR_NOERROR);
    EXPECT_EQ(wave().outClose(asOut), MMSYSERR_INVALHANDLE);

    // Open comes first and close last, each with the instance value given at open.
    const std::vector<Notice> notices = log.notices();
    ASSERT_EQ(notices.size(), 4u);
    EXPECT_EQ(notices.front().msg, static_cast<UINT>(WOM_OPEN));
    EXPECT_EQ(notices[1].header, &first.header);
    EXPECT_EQ(notices[2].header, &next.header);
    EXPECT_EQ(notices.back().msg, static_cast<UINT>(WOM_CLOSE));
}

TEST_F(SimMachine, PlaysBlocksInOrderAndCompletesThemFromTheClockThread) {
    const WAVEFORMATEX format = pcm(48000, 16);
    NoticeLog log;
    TestOut out;
    ASSERT_EQ(out.open(&format, &log), MMSYSERR_NOERROR);
    sim::clearRecord();
    std::vector<uint8_t> expected;
    for (int k = 0; k < 6; ++k) {
        // Uneven sizes, one with half a frame at its end.
        Block& b = out.block(480 * 4 + k * 12 + (k == 3 ? 2 : 0));
        b.data = signal(b.data.size() / 4 + 1, 4);
        b.data.resize(b.header.dwBufferLength);
        b.header.lpData = reinterpret_cast<LPSTR>(b.data.data());
        expected.insert(expected.end(), b.data.begin(), b.data.end());
    }
    for (auto& b : out.blocks)
        ASSERT_EQ(out.write(*b), MMSYSERR_NOERROR);
    ASSERT_TRUE(waitUntil([&] { return allDone(out.blocks); }, kWaitMs));
    ASSERT_TRUE(waitUntil([&] { return log.of(WOM_DONE).size() == 6; }, kWaitMs));

    const std::vector<Notice> done = log.of(WOM_DONE);
    for (size_t k = 0; k < done.size(); ++k) {
        SCOPED_TRACE(k);
        EXPECT_EQ(done[k].header, &out.blocks[k]->header);
        EXPECT_EQ(done[k].flags & (WHDR_DONE | WHDR_INQUEUE), static_cast<DWORD>(WHDR_DONE));
        EXPECT_NE(done[k].thread, GetCurrentThreadId());
        EXPECT_EQ(done[k].thread, done[0].thread) << "one clock thread completes them all";
        EXPECT_EQ(done[k].priority, THREAD_PRIORITY_TIME_CRITICAL);
    }
    EXPECT_EQ(sim::state()->outBlocksPlayed, 6);
    EXPECT_EQ(playedRecord(), expected) << "every byte as played, in play order";

    // Once the queue runs dry the device plays silence, counted but not recorded.
    ASSERT_TRUE(waitUntil([] { return sim::state()->underrunFrames > 0; }, kWaitMs));
    EXPECT_EQ(playedRecord().size(), expected.size());
}

TEST_F(SimMachine, OutputIdlesWithoutUnderrunUntilItsFirstBlock) {
    const WAVEFORMATEX format = pcm(48000, 16);
    TestOut out;
    ASSERT_EQ(out.open(&format), MMSYSERR_NOERROR);
    Sleep(30);
    EXPECT_EQ(sim::state()->underrunFrames, 0) << "nothing was asked to play yet";
}

TEST_F(SimMachine, ClockKeepsTheRateTheStreamWasOpenedWith) {
    for (DWORD rate : {8000u, 96000u}) {
        SCOPED_TRACE(rate);
        sim::clearRecord();
        const WAVEFORMATEX format = pcm(rate, 16);
        TestOut out;
        LARGE_INTEGER frequency, before, after;
        QueryPerformanceFrequency(&frequency);
        QueryPerformanceCounter(&before);
        ASSERT_EQ(out.open(&format), MMSYSERR_NOERROR);
        for (int k = 0; k < 10; ++k)
            ASSERT_EQ(out.write(out.block(rate / 10 * 4)), MMSYSERR_NOERROR);
        Sleep(300);
        const double played = sim::state()->playedBytes / 4.0;
        QueryPerformanceCounter(&after);
        const double seconds =
            static_cast<double>(after.QuadPart - before.QuadPart) / frequency.QuadPart;
        // The device cannot run ahead of real time; a generous lower bound catches a clock that
        // does not run or runs at some other rate. Figures, not timing, are the point here.
        EXPECT_LE(played, rate * seconds + 1);
        EXPECT_GE(played, rate * 0.3 * 0.2);
    }
}

struct LoopbackCase {
    WORD bits;
    int32_t delay;
};

class SimLoopback : public SimMachine, public ::testing::WithParamInterface<LoopbackCase> {};

TEST_P(SimLoopback, InputCarriesTheOutputAfterTheDelayByteForByte) {
    const LoopbackCase c = GetParam();
    const WAVEFORMATEXTENSIBLE format = extensible(48000, c.bits);
    const size_t frameBytes = format.Format.nBlockAlign;
    sim::state()->loopbackDelayFrames = c.delay;
    // With the clock held, both streams begin on the same device frame.
    sim::state()->faults.clockStalled = 1;

    TestOut out;
    TestIn in;
    ASSERT_EQ(out.open(asFormat(format)), MMSYSERR_NOERROR);
    ASSERT_EQ(in.open(asFormat(format)), MMSYSERR_NOERROR);
    for (int k = 0; k < 4; ++k)
        ASSERT_EQ(in.add(in.block(1024 * frameBytes)), MMSYSERR_NOERROR);
    ASSERT_EQ(wave().inStart(in.handle), MMSYSERR_NOERROR);
    const std::vector<uint8_t> sent = signal(2048, frameBytes);
    for (int k = 0; k < 2; ++k) {
        Block& b = out.block(1024 * frameBytes);
        std::memcpy(b.data.data(), sent.data() + k * b.data.size(), b.data.size());
        ASSERT_EQ(out.write(b), MMSYSERR_NOERROR);
    }
    sim::state()->faults.clockStalled = 0;
    ASSERT_TRUE(waitUntil([&] { return allDone(in.blocks); }, kWaitMs));

    std::vector<uint8_t> heard;
    for (const auto& b : in.blocks) {
        EXPECT_EQ(recordedOf(b->header), b->header.dwBufferLength);
        heard.insert(heard.end(), b->data.begin(), b->data.end());
    }
    std::vector<uint8_t> expected(c.delay * frameBytes, 0);
    expected.insert(expected.end(), sent.begin(), sent.end());
    expected.resize(heard.size(), 0);
    ASSERT_EQ(heard.size(), expected.size());
    size_t firstDifference = 0;
    while (firstDifference < heard.size() && heard[firstDifference] == expected[firstDifference])
        ++firstDifference;
    EXPECT_EQ(firstDifference, heard.size())
        << "first wrong byte in frame " << firstDifference / frameBytes;
    EXPECT_EQ(sim::state()->inBlocksRecorded, 4);
}

INSTANTIATE_TEST_SUITE_P(WidthsAndDelays, SimLoopback,
                         ::testing::Values(LoopbackCase{16, sim::kDefaultLoopbackDelayFrames},
                                           LoopbackCase{24, sim::kDefaultLoopbackDelayFrames},
                                           LoopbackCase{24, 0}, LoopbackCase{16, 1500}),
                         [](const ::testing::TestParamInfo<LoopbackCase>& info) {
                             return std::to_string(info.param.bits) + "Bit" +
                                    std::to_string(info.param.delay) + "FramesLate";
                         });

TEST_F(SimMachine, InputHearsSilenceWhenTheOutputFramesDiffer) {
    const WAVEFORMATEXTENSIBLE outFormat = extensible(48000, 16);
    const WAVEFORMATEXTENSIBLE inFormat = extensible(48000, 24);
    sim::state()->loopbackDelayFrames = 0;
    TestOut out;
    TestIn in;
    ASSERT_EQ(out.open(asFormat(outFormat)), MMSYSERR_NOERROR);
    ASSERT_EQ(in.open(asFormat(inFormat)), MMSYSERR_NOERROR);
    ASSERT_EQ(out.write(out.block(4800 * 4, 0x55)), MMSYSERR_NOERROR);
    Block& heard = in.block(480 * 6);
    ASSERT_EQ(in.add(heard), MMSYSERR_NOERROR);
    ASSERT_EQ(wave().inStart(in.handle), MMSYSERR_NOERROR);
    ASSERT_TRUE(waitUntil([&] { return allDone(in.blocks); }, kWaitMs));
    EXPECT_EQ(heard.data, std::vector<uint8_t>(heard.data.size(), 0));
}

TEST_F(SimMachine, ResetReturnsEveryQueuedHeaderBeforeItReturns) {
    const WAVEFORMATEX format = pcm(48000, 16);
    NoticeLog outLog, inLog;
    TestOut out;
    TestIn in;
    ASSERT_EQ(out.open(&format, &outLog), MMSYSERR_NOERROR);
    ASSERT_EQ(in.open(&format, &inLog), MMSYSERR_NOERROR);
    for (int k = 0; k < 4; ++k)
        ASSERT_EQ(out.write(out.block(48000 * 4)), MMSYSERR_NOERROR);
    for (int k = 0; k < 3; ++k)
        ASSERT_EQ(in.add(in.block(48000 * 4)), MMSYSERR_NOERROR);
    ASSERT_EQ(wave().inStart(in.handle), MMSYSERR_NOERROR);
    ASSERT_TRUE(waitUntil([&] { return recordedOf(in.blocks[0]->header) > 0; }, kWaitMs));

    ASSERT_EQ(wave().outReset(out.handle), MMSYSERR_NOERROR);
    const std::vector<Notice> outDone = outLog.of(WOM_DONE);
    ASSERT_EQ(outDone.size(), 4u);
    for (size_t k = 0; k < outDone.size(); ++k)
        EXPECT_EQ(outDone[k].header, &out.blocks[k]->header);
    EXPECT_TRUE(allDone(out.blocks));

    ASSERT_EQ(wave().inReset(in.handle), MMSYSERR_NOERROR);
    ASSERT_EQ(inLog.of(WIM_DATA).size(), 3u);
    EXPECT_TRUE(allDone(in.blocks));
    const DWORD partial = recordedOf(in.blocks[0]->header);
    EXPECT_GT(partial, 0u);
    EXPECT_LT(partial, in.blocks[0]->header.dwBufferLength);
    EXPECT_EQ(partial % 4, 0u) << "whole frames";
    EXPECT_EQ(recordedOf(in.blocks[1]->header), 0u);
    EXPECT_EQ(sim::state()->outBlocksPlayed, 0) << "returned, not played";
    EXPECT_EQ(sim::state()->inBlocksRecorded, 0);
    EXPECT_EQ(out.close(), MMSYSERR_NOERROR);
    EXPECT_EQ(in.close(), MMSYSERR_NOERROR);
}

TEST_F(SimMachine, StopReturnsTheBlockBeingFilledAndPauses) {
    const WAVEFORMATEX format = pcm(48000, 16);
    NoticeLog log;
    TestIn in;
    ASSERT_EQ(in.open(&format, &log), MMSYSERR_NOERROR);
    Block& current = in.block(48000 * 4);
    Block& waiting = in.block(48000 * 4);
    ASSERT_EQ(in.add(current), MMSYSERR_NOERROR);
    ASSERT_EQ(in.add(waiting), MMSYSERR_NOERROR);
    ASSERT_EQ(wave().inStart(in.handle), MMSYSERR_NOERROR);
    ASSERT_TRUE(waitUntil([&] { return recordedOf(current.header) > 0; }, kWaitMs));

    ASSERT_EQ(wave().inStop(in.handle), MMSYSERR_NOERROR);
    ASSERT_EQ(log.of(WIM_DATA).size(), 1u);
    EXPECT_EQ(log.of(WIM_DATA)[0].header, &current.header);
    EXPECT_NE(flagsOf(current.header) & WHDR_DONE, 0u);
    Sleep(30);
    EXPECT_EQ(recordedOf(waiting.header), 0u) << "a stopped input records nothing";
    EXPECT_EQ(flagsOf(waiting.header) & WHDR_INQUEUE, static_cast<DWORD>(WHDR_INQUEUE));
    EXPECT_EQ(wave().inClose(in.handle), WAVERR_STILLPLAYING);

    ASSERT_EQ(wave().inStart(in.handle), MMSYSERR_NOERROR);
    ASSERT_TRUE(waitUntil([&] { return recordedOf(waiting.header) > 0; }, kWaitMs));
}

TEST_F(SimMachine, EachFaultSwitchFailsItsRequest) {
    sim::SimFaults& f = sim::state()->faults;
    const WAVEFORMATEX format = pcm(44100, 16);
    struct Case {
        const char* what;
        int32_t* fault;
        MMRESULT expected;
        bool input;
        int step; // 0 open, 1 prepare, 2 queue, 3 start
    };
    const Case cases[] = {
        {"output open", &f.outOpenFails, MMSYSERR_ALLOCATED, false, 0},
        {"input open", &f.inOpenFails, MMSYSERR_ALLOCATED, true, 0},
        {"output prepare", &f.prepareFails, MMSYSERR_NOMEM, false, 1},
        {"input prepare", &f.prepareFails, MMSYSERR_NOMEM, true, 1},
        {"output write", &f.outWriteFails, MMSYSERR_NOERROR, false, 2},
        {"input queue", &f.inQueueFails, MMSYSERR_NOERROR, true, 2},
        {"input start", &f.inStartFails, MMSYSERR_NOERROR, true, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (int32_t on : {1, 0}) {
            Block block(4800); // outlives the streams that may still hold it
            TestOut out;
            TestIn in;
            *c.fault = c.step == 0 ? on : 0;
            MMRESULT r = c.input ? in.open(&format) : out.open(&format);
            if (c.step >= 1) {
                ASSERT_EQ(r, MMSYSERR_NOERROR);
                *c.fault = c.step == 1 ? on : 0;
                r = c.input ? wave().inPrepareHeader(in.handle, &block.header, sizeof(WAVEHDR))
                            : wave().outPrepareHeader(out.handle, &block.header, sizeof(WAVEHDR));
            }
            if (c.step >= 2) {
                ASSERT_EQ(r, MMSYSERR_NOERROR);
                *c.fault = c.step == 2 ? on : 0;
                r = c.input ? in.add(block) : out.write(block);
            }
            if (c.step >= 3) {
                ASSERT_EQ(r, MMSYSERR_NOERROR);
                *c.fault = on;
                r = wave().inStart(in.handle);
            }
            if (!on) {
                EXPECT_EQ(r, MMSYSERR_NOERROR) << "switched off, the request works again";
            } else if (c.expected != MMSYSERR_NOERROR) {
                EXPECT_EQ(r, c.expected);
            } else {
                EXPECT_NE(r, MMSYSERR_NOERROR);
            }
            *c.fault = 0;
            if (c.input)
                wave().inReset(in.handle);
            else
                wave().outReset(out.handle);
            if (in.handle)
                wave().inUnprepareHeader(in.handle, &block.header, sizeof(WAVEHDR));
            if (out.handle)
                wave().outUnprepareHeader(out.handle, &block.header, sizeof(WAVEHDR));
        }
    }
}

TEST_F(SimMachine, StalledClockCompletesNothingUntilItRunsAgain) {
    const WAVEFORMATEX format = pcm(48000, 16);
    TestOut out;
    ASSERT_EQ(out.open(&format), MMSYSERR_NOERROR);
    sim::state()->faults.clockStalled = 1;
    ASSERT_EQ(out.write(out.block(48 * 4)), MMSYSERR_NOERROR);
    Sleep(50);
    EXPECT_EQ(flagsOf(out.blocks[0]->header) & WHDR_DONE, 0u);
    EXPECT_EQ(sim::state()->playedBytes, 0);
    sim::state()->faults.clockStalled = 0;
    EXPECT_TRUE(waitUntil([&] { return allDone(out.blocks); }, kWaitMs));
}

TEST_F(SimMachine, UnplugStopsTheDeviceButCleanupWorksAndReplugOpensAgain) {
    const WAVEFORMATEX format = pcm(48000, 16);
    NoticeLog log;
    TestOut out;
    TestIn in;
    ASSERT_EQ(out.open(&format, &log), MMSYSERR_NOERROR);
    ASSERT_EQ(in.open(&format), MMSYSERR_NOERROR);
    ASSERT_EQ(out.write(out.block(4800 * 4)), MMSYSERR_NOERROR);
    Block& recording = in.block(4800 * 4);
    ASSERT_EQ(in.add(recording), MMSYSERR_NOERROR);

    sim::state()->unplugged = 1;
    EXPECT_EQ(wave().outGetNumDevs(), 0u);
    EXPECT_EQ(wave().inGetNumDevs(), 0u);
    Block& late = out.block(64);
    EXPECT_EQ(out.write(late), MMSYSERR_NODRIVER);
    EXPECT_EQ(in.add(in.block(64)), MMSYSERR_NODRIVER);
    EXPECT_EQ(wave().inStart(in.handle), MMSYSERR_NODRIVER);
    TestOut another;
    const WAVEFORMATEX other = pcm(44100, 16);
    EXPECT_EQ(another.open(&other), MMSYSERR_NODRIVER);
    Sleep(150);
    EXPECT_EQ(log.of(WOM_DONE).size(), 0u) << "a device that is gone completes nothing";

    // The driver can always clean up what it opened.
    EXPECT_EQ(out.close(), MMSYSERR_NOERROR);
    EXPECT_EQ(in.close(), MMSYSERR_NOERROR);
    EXPECT_NE(flagsOf(recording.header) & WHDR_DONE, 0u);

    sim::state()->unplugged = 0;
    EXPECT_EQ(wave().outGetNumDevs(), 1u);
    TestOut again;
    ASSERT_EQ(again.open(&format), MMSYSERR_NOERROR);
    ASSERT_EQ(again.write(again.block(48 * 4)), MMSYSERR_NOERROR);
    EXPECT_TRUE(waitUntil([&] { return allDone(again.blocks); }, kWaitMs));
}

TEST_F(SimMachine, DeviceSetupFindsTheInstanceByItsId) {
    DeviceSetup& setup = deviceSetup();
    char lower[sizeof(sim::kDefaultInstanceId)];
    std::strcpy(lower, sim::kDefaultInstanceId);
    CharLowerA(lower);
    HDEVINFO set = setup.getClassDevs(&kKsCategoryAudio, lower, nullptr, DIGCF_DEVICEINTERFACE);
    ASSERT_NE(set, INVALID_HANDLE_VALUE);
    SP_DEVINFO_DATA data = {};
    data.cbSize = sizeof(data);
    ASSERT_TRUE(setup.enumDeviceInfo(set, 0, &data));

    char name[128] = {};
    DWORD type = 0;
    DWORD required = 0;
    ASSERT_TRUE(setup.getDeviceRegistryProperty(set, &data, SPDRP_FRIENDLYNAME, &type,
                                                reinterpret_cast<BYTE*>(name), sizeof(name),
                                                &required));
    EXPECT_STREQ(name, sim::kDefaultFriendlyName);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(required, sizeof(sim::kDefaultFriendlyName));

    char tiny[4] = {'#', '#', '#', '#'};
    EXPECT_FALSE(setup.getDeviceRegistryProperty(set, &data, SPDRP_FRIENDLYNAME, nullptr,
                                                 reinterpret_cast<BYTE*>(tiny), 3, &required));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(tiny[0], '#');
    EXPECT_FALSE(setup.enumDeviceInfo(set, 1, &data));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_ITEMS));

    sim::state()->devNodes[0].friendlyName[0] = '\0';
    HDEVINFO nameless = setup.getClassDevs(&kKsCategoryAudio, lower, nullptr, 0);
    ASSERT_TRUE(setup.enumDeviceInfo(nameless, 0, &data));
    EXPECT_FALSE(setup.getDeviceRegistryProperty(nameless, &data, SPDRP_FRIENDLYNAME, nullptr,
                                                 reinterpret_cast<BYTE*>(name), sizeof(name),
                                                 nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_DATA));
    EXPECT_STREQ(name, sim::kDefaultFriendlyName) << "a set is a snapshot; the buffer untouched";

    EXPECT_TRUE(setup.destroyDeviceInfoList(set));
    EXPECT_TRUE(setup.destroyDeviceInfoList(nameless));
    EXPECT_FALSE(setup.destroyDeviceInfoList(set)) << "a destroyed set is no set";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(setup.enumDeviceInfo(nullptr, 0, &data));
    EXPECT_FALSE(setup.enumDeviceInfo(INVALID_HANDLE_VALUE, 0, &data));
    EXPECT_FALSE(setup.getDeviceRegistryProperty(set, &data, SPDRP_FRIENDLYNAME, nullptr,
                                                 reinterpret_cast<BYTE*>(name), sizeof(name),
                                                 nullptr));

    for (bool unplugged : {false, true}) {
        sim::state()->unplugged = unplugged;
        const char* enumerator = unplugged ? sim::kDefaultInstanceId : "USB\\VID_1852&PID_7022\\X";
        HDEVINFO none = setup.getClassDevs(&kKsCategoryAudio, enumerator, nullptr, 0);
        ASSERT_NE(none, INVALID_HANDLE_VALUE);
        EXPECT_FALSE(setup.enumDeviceInfo(none, 0, &data));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_ITEMS));
        EXPECT_TRUE(setup.destroyDeviceInfoList(none));
    }
}

TEST_F(SimMachine, VersionOverrideAnswersForEachRecordForm) {
    SystemFacts& facts = systemFacts();
    OSVERSIONINFOEXA real = {};
    real.dwOSVersionInfoSize = sizeof(real);
    OSVERSIONINFOEXA seen = real;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    ASSERT_TRUE(GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&real)));
#pragma GCC diagnostic pop
    ASSERT_TRUE(facts.getVersionEx(reinterpret_cast<OSVERSIONINFOA*>(&seen)));
    EXPECT_EQ(seen.dwMajorVersion, real.dwMajorVersion) << "off, the real system answers";
    EXPECT_EQ(seen.dwBuildNumber, real.dwBuildNumber);

    sim::SimVersion& v = sim::state()->version;
    v.active = 1;
    v.platformId = VER_PLATFORM_WIN32_NT;
    v.major = 6;
    v.minor = 0;
    v.build = 6002;
    v.productType = VER_NT_SERVER;
    v.nativeArchitecture = PROCESSOR_ARCHITECTURE_AMD64;

    OSVERSIONINFOEXA ex = {};
    ex.dwOSVersionInfoSize = sizeof(ex);
    ASSERT_TRUE(facts.getVersionEx(reinterpret_cast<OSVERSIONINFOA*>(&ex)));
    EXPECT_EQ(ex.dwMajorVersion, 6u);
    EXPECT_EQ(ex.dwMinorVersion, 0u);
    EXPECT_EQ(ex.dwBuildNumber, 6002u);
    EXPECT_EQ(ex.wProductType, VER_NT_SERVER);

    OSVERSIONINFOEXA basic;
    std::memset(&basic, 0xCC, sizeof(basic));
    basic.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
    ASSERT_TRUE(facts.getVersionEx(reinterpret_cast<OSVERSIONINFOA*>(&basic)));
    EXPECT_EQ(basic.dwPlatformId, static_cast<DWORD>(VER_PLATFORM_WIN32_NT));
    EXPECT_EQ(basic.wProductType, 0xCC) << "the basic record ends before the product type";

    v.failExtended = 1;
    EXPECT_FALSE(facts.getVersionEx(reinterpret_cast<OSVERSIONINFOA*>(&ex)));
    EXPECT_TRUE(facts.getVersionEx(reinterpret_cast<OSVERSIONINFOA*>(&basic)));
    v.failBasic = 1;
    EXPECT_FALSE(facts.getVersionEx(reinterpret_cast<OSVERSIONINFOA*>(&basic)));
    ex.dwOSVersionInfoSize = 100;
    v.failExtended = v.failBasic = 0;
    EXPECT_FALSE(facts.getVersionEx(reinterpret_cast<OSVERSIONINFOA*>(&ex)))
        << "a record of neither size";

    SYSTEM_INFO info = {};
    ASSERT_TRUE(facts.getNativeSystemInfo(&info));
    EXPECT_EQ(info.wProcessorArchitecture, PROCESSOR_ARCHITECTURE_AMD64);
    EXPECT_GT(info.dwPageSize, 0u);
    v.hasNativeSystemInfo = 0;
    EXPECT_FALSE(facts.getNativeSystemInfo(&info));
}

// Run by the test below as a process of its own; not part of a normal run.
TEST(SimMachineChild, DISABLED_PlaysForTheParent) {
    const WAVEFORMATEX format = pcm(48000, 16);
    TestIn in;
    EXPECT_EQ(in.open(&format), MMSYSERR_ALLOCATED) << "the parent's fault switch";
    TestOut out;
    ASSERT_EQ(out.open(&format), MMSYSERR_NOERROR);
    Block& b = out.block(480 * 4, 0x3C);
    ASSERT_EQ(out.write(b), MMSYSERR_NOERROR);
    ASSERT_TRUE(waitUntil([&] { return allDone(out.blocks); }, kWaitMs));
}

TEST_F(SimMachine, AnotherProcessSharesTheDeviceItsRecordAndItsFaults) {
    sim::state()->faults.inOpenFails = 1;
    sim::clearRecord();
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    DWORD code = 1;
    ASSERT_TRUE(runAndWait(std::string("\"") + self +
                               "\" --gtest_also_run_disabled_tests"
                               " --gtest_filter=SimMachineChild.DISABLED_PlaysForTheParent",
                           30000, &code));
    EXPECT_EQ(code, 0u) << "the other process saw what it expected";
    EXPECT_EQ(sim::state()->outOpenCount, 1);
    EXPECT_EQ(sim::state()->outBlocksPlayed, 1);
    EXPECT_EQ(playedRecord(), std::vector<uint8_t>(480 * 4, 0x3C));
}
