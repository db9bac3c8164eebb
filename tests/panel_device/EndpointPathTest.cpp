// The endpoint path (Windows 6.0 and 6.1): the device's endpoints found by their host device's
// identity, and their format values read and written through the Trelvik cycle in the registry.
#include "SimulatedSystem.h"

#include "cpl/device/UsbAudioDevice.h"
#include "ports/Services.h"
#include "sim/SimEndpointRegistry.h"
#include "support/TestProcess.h"

#include <gtest/gtest.h>

#include <cstring>
#include <cwchar>

namespace {

template <typename T>
T field(const std::vector<uint8_t>& value, size_t at) {
    T v{};
    if (value.size() >= at + sizeof(T))
        std::memcpy(&v, value.data() + at, sizeof(T));
    return v;
}

// Offsets in a stored value: the 8-byte property header, then WAVEFORMATEXTENSIBLE.
struct StoredFormat {
    explicit StoredFormat(const std::vector<uint8_t>& v)
        : size(v.size()), channels(field<WORD>(v, 10)), rate(field<DWORD>(v, 12)),
          avgBytes(field<DWORD>(v, 16)), blockAlign(field<WORD>(v, 20)), bits(field<WORD>(v, 22)),
          validBits(field<WORD>(v, 26)) {}
    size_t size;
    WORD channels;
    DWORD rate;
    DWORD avgBytes;
    WORD blockAlign;
    WORD bits;
    WORD validBits;
};

bool trelvikServiceExists() {
    UniqueServiceHandle scm(services().openSCManager(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    UniqueServiceHandle service(
        scm ? services().openService(scm.get(), "Trelvik", SERVICE_ALL_ACCESS) : nullptr);
    return service.valid();
}

class EndpointPath : public ::testing::Test {
protected:
    void SetUp() override {
        sim::resetToDefaults();
        runAsWindows7();
        trelvikSource = testProgramFolder() + "Trelvik.dll";
        ASSERT_TRUE(placeTrelvikStandIn(trelvikSource));
        ASSERT_TRUE(sim::writeEndpointFormats(sim::kDefaultRenderEndpoint, 0, 44100, 16));
        ASSERT_TRUE(sim::writeEndpointFormats(sim::kDefaultCaptureEndpoint, 1, 44100, 16));
    }
    void TearDown() override {
        EXPECT_FALSE(trelvikServiceExists()) << "no Trelvik service is left after a cycle";
        EXPECT_EQ(sim::state()->trelvik.running, 0);
        for (int i = 0; i < sim::state()->endpointCount; ++i)
            sim::removeEndpointKey(sim::state()->endpoints[i].id, sim::state()->endpoints[i].flow);
        DeleteFileA(trelvikSource.c_str());
        sim::resetToDefaults();
    }

    // Another endpoint in the next free slot of the machine.
    sim::SimEndpoint& addEndpoint(int flow, const wchar_t* id, const wchar_t* hostText) {
        sim::SimState* s = sim::state();
        sim::SimEndpoint& e = s->endpoints[s->endpointCount++];
        e = sim::SimEndpoint{};
        e.flow = flow;
        e.ofDevice = 1;
        e.active = 1;
        std::wcscpy(e.id, id);
        std::wcscpy(e.hostDevice, hostText);
        return e;
    }

    StoredFormat stored(const wchar_t* id, int flow, const wchar_t* name) {
        return StoredFormat(sim::readEndpointValue(id, flow, name));
    }

    std::string trelvikSource;
};

constexpr wchar_t kSecondCapture[] = L"{0.0.1.00000000}.{5a1c7e02-4b7d-4f1e-9c1a-18527022a003}";
constexpr wchar_t kSecondRender[] = L"{0.0.0.00000000}.{5a1c7e02-4b7d-4f1e-9c1a-18527022a004}";

} // namespace

TEST_F(EndpointPath, OpenCollectsTheDeviceEndpointsAndNeedsNoTopologyFilter) {
    CUsbAudioDevice device;
    ASSERT_TRUE(device.UsesEndpointPath());
    ASSERT_TRUE(device.Open(nullptr));
    EXPECT_EQ(device.RenderCount(), 1) << "the other device's render endpoint is passed over";
    EXPECT_EQ(device.CaptureCount(), 1);
    EXPECT_STREQ(device.RenderEndpointId(0), sim::kDefaultRenderEndpoint);
    EXPECT_STREQ(device.CaptureEndpointId(0), sim::kDefaultCaptureEndpoint);
    device.Close();
    EXPECT_EQ(device.RenderCount(), 0);
    EXPECT_STREQ(device.RenderEndpointId(0), L"");

    sim::state()->topologyFilterCount = 0;
    ASSERT_TRUE(device.Open(nullptr));
    EXPECT_FALSE(device.HasTopologyHandle());
    StreamStatusRecord status;
    EXPECT_FALSE(device.QueryStreamStatus(&status)) << "no filter: no stream status";
}

TEST_F(EndpointPath, TheIdentityMatchesInAnyCaseAndInRawBytesWithinTheirBuffer) {
    std::wcscpy(sim::state()->endpoints[1].hostDevice,
                L"{1}.usb\\vid_1852&pid_7022&mi_01\\7&1a2b3c4d&0&0001");
    sim::state()->endpoints[2].hostDeviceAsBlob = 1;
    CUsbAudioDevice device;
    ASSERT_TRUE(device.Open(nullptr));
    EXPECT_EQ(device.RenderCount(), 1);
    EXPECT_EQ(device.CaptureCount(), 1);
    device.Close();

    // The identity past the first 260 bytes of an unterminated blob is never seen.
    std::wstring longText(140, L'x');
    longText += L"VID_1852&PID_7022&MI_01";
    std::wcscpy(sim::state()->endpoints[2].hostDevice, longText.c_str());
    ASSERT_TRUE(device.Open(nullptr)) << "no capture endpoint is allowed";
    EXPECT_EQ(device.CaptureCount(), 0);
}

TEST_F(EndpointPath, OpenRefusesTwoRenderOrThreeCaptureEndpoints) {
    CUsbAudioDevice device;
    addEndpoint(0, kSecondRender, sim::kDeviceHostText);
    EXPECT_FALSE(device.Open(nullptr));
    EXPECT_FALSE(device.IsOpen());
    EXPECT_EQ(device.RenderCount(), 0) << "a failed open leaves the object closed";

    sim::state()->endpoints[3].active = 0;
    addEndpoint(1, kSecondCapture, sim::kDeviceHostText);
    ASSERT_TRUE(device.Open(nullptr)) << "two capture endpoints are fine";
    EXPECT_EQ(device.CaptureCount(), 2);
    device.Close();
    addEndpoint(1, L"{0.0.1.00000000}.{5a1c7e02-4b7d-4f1e-9c1a-18527022a005}",
                sim::kDeviceHostText);
    EXPECT_FALSE(device.Open(nullptr));
}

TEST_F(EndpointPath, AnEndpointThatVanishesOrCannotBeReadDoesNotCrashTheOpen) {
    CUsbAudioDevice device;
    sim::state()->endpoints[1].vanishes = 1;
    EXPECT_FALSE(device.Open(nullptr)) << "the device's render endpoint is gone";
    sim::state()->endpoints[1].vanishes = 0;
    sim::state()->endpoints[2].hostDeviceUnreadable = 1;
    ASSERT_TRUE(device.Open(nullptr));
    EXPECT_EQ(device.CaptureCount(), 0);
    device.Close();
    sim::state()->enumeratorFails = 1;
    EXPECT_FALSE(device.Open(nullptr));
}

TEST_F(EndpointPath, ASetWith32BitsStoresDeviceFormat24AndOemFormat32) {
    CUsbAudioDevice device;
    ASSERT_TRUE(device.Open(nullptr));
    DeviceFormatRecord set = {sizeof(DeviceFormatRecord), 0, 0, 32, 16, 0, 96000, 48000};
    ASSERT_TRUE(device.AccessFormat(false, &set));

    const StoredFormat render = stored(sim::kDefaultRenderEndpoint, 0, sim::kDeviceFormatValueName);
    EXPECT_EQ(render.size, 48u);
    EXPECT_EQ(render.rate, 96000u);
    EXPECT_EQ(render.bits, 24);
    EXPECT_EQ(render.validBits, 24);
    EXPECT_EQ(render.channels, 2);
    EXPECT_EQ(render.blockAlign, 6);
    EXPECT_EQ(render.avgBytes, 6u * 96000);
    const StoredFormat oem = stored(sim::kDefaultRenderEndpoint, 0, sim::kOemFormatValueName);
    EXPECT_EQ(oem.rate, 96000u);
    EXPECT_EQ(oem.bits, 32);
    EXPECT_EQ(oem.channels, 2);
    EXPECT_EQ(oem.blockAlign, 8);
    const std::vector<uint8_t> raw =
        sim::readEndpointValue(sim::kDefaultRenderEndpoint, 0, sim::kDeviceFormatValueName);
    EXPECT_EQ(std::memcmp(raw.data(), sim::kFormatValueHeader, 8), 0) << "header as it was";

    const StoredFormat capture =
        stored(sim::kDefaultCaptureEndpoint, 1, sim::kDeviceFormatValueName);
    EXPECT_EQ(capture.rate, 48000u);
    EXPECT_EQ(capture.bits, 16);

    DeviceFormatRecord got = {};
    ASSERT_TRUE(device.AccessFormat(true, &got));
    EXPECT_EQ(got.playbackRate, 96000u);
    EXPECT_EQ(got.playbackBits, 24);
    EXPECT_EQ(got.playbackFixed, 1);
    EXPECT_EQ(got.recordRate, 48000u);
    EXPECT_EQ(got.recordBits, 16);
}

TEST_F(EndpointPath, AGetWhoseValuesMatchWritesNothing) {
    CUsbAudioDevice device;
    ASSERT_TRUE(device.Open(nullptr));
    DeviceFormatRecord got = {sizeof(DeviceFormatRecord), 0, 0, 16, 16, 0, 44100, 44100};
    ASSERT_TRUE(device.AccessFormat(true, &got));
    EXPECT_EQ(sim::state()->trelvik.writes, 0);
    EXPECT_EQ(sim::state()->trelvik.reads, 2);
    EXPECT_EQ(got.playbackRate, 44100u);
    EXPECT_EQ(got.recordBits, 16);
}

TEST_F(EndpointPath, EndpointsThatDifferAreMadeEqual) {
    addEndpoint(1, kSecondCapture, sim::kDeviceHostText);
    ASSERT_TRUE(sim::writeEndpointFormats(kSecondCapture, 1, 48000, 24));
    CUsbAudioDevice device;
    ASSERT_TRUE(device.Open(nullptr));
    ASSERT_EQ(device.CaptureCount(), 2);
    DeviceFormatRecord got = {sizeof(DeviceFormatRecord), 0, 0, 16, 16, 0, 44100, 44100};
    ASSERT_TRUE(device.AccessFormat(true, &got));
    EXPECT_EQ(got.recordRate, 48000u) << "the endpoint that differed is the answer";
    EXPECT_EQ(got.recordBits, 24);
    const StoredFormat first = stored(sim::kDefaultCaptureEndpoint, 1, sim::kDeviceFormatValueName);
    EXPECT_EQ(first.rate, 48000u);
    EXPECT_EQ(first.bits, 24);
    EXPECT_EQ(stored(sim::kDefaultCaptureEndpoint, 1, sim::kOemFormatValueName).bits, 32);
}

TEST_F(EndpointPath, WithoutAnEndpointOfCaptureTheRecordRepeatsPlayback) {
    sim::state()->endpoints[2].active = 0;
    ASSERT_TRUE(sim::writeEndpointFormats(sim::kDefaultRenderEndpoint, 0, 88200, 24));
    CUsbAudioDevice device;
    ASSERT_TRUE(device.Open(nullptr));
    DeviceFormatRecord got = {};
    ASSERT_TRUE(device.AccessFormat(true, &got));
    EXPECT_EQ(got.playbackRate, 88200u);
    EXPECT_EQ(got.recordRate, 88200u);
    EXPECT_EQ(got.recordBits, 24);
}

TEST_F(EndpointPath, AnUnreadableOemValueMakesTheDeviceFormatWrittenTwice) {
    const std::vector<uint8_t> oemBefore =
        sim::readEndpointValue(sim::kDefaultRenderEndpoint, 0, sim::kOemFormatValueName);
    std::wcscpy(sim::state()->faults.unreadableValue, sim::kOemFormatValueName);
    CUsbAudioDevice device;
    ASSERT_TRUE(device.Open(nullptr));
    ASSERT_TRUE(device.WriteEndpointFormat(sim::kDefaultRenderEndpoint, 0, 48000, 2, 24));
    EXPECT_EQ(sim::state()->trelvik.writes, 2);
    EXPECT_EQ(sim::readEndpointValue(sim::kDefaultRenderEndpoint, 0, sim::kOemFormatValueName),
              oemBefore);
    const StoredFormat format = stored(sim::kDefaultRenderEndpoint, 0, sim::kDeviceFormatValueName);
    EXPECT_EQ(format.rate, 48000u);
    EXPECT_EQ(format.bits, 24) << "both writes carry the device format";
    EXPECT_EQ(format.blockAlign, 6);
}

TEST_F(EndpointPath, FailuresOfTheCycleAreReportedAndLeaveNoService) {
    CUsbAudioDevice device;
    ASSERT_TRUE(device.Open(nullptr));
    DWORD rate = 0;
    WORD channels = 0, bits = 0;
    EXPECT_FALSE(
        device.ReadEndpointFormat(sim::kDefaultRenderEndpoint, 0, &rate, &channels, nullptr));
    EXPECT_FALSE(device.ReadEndpointFormat(L"{0.0.0.0}", 0, &rate, &channels, &bits))
        << "an id shorter than its flow prefix";

    sim::state()->faults.trelvikStartFails = 1;
    EXPECT_FALSE(device.ReadEndpointFormat(sim::kDefaultRenderEndpoint, 0, &rate, &channels, &bits))
        << "the device never appears";
    EXPECT_FALSE(trelvikServiceExists());
    sim::state()->faults.trelvikStartFails = 0;

    sim::state()->faults.trelvikRequestFails = 1;
    EXPECT_FALSE(
        device.ReadEndpointFormat(sim::kDefaultRenderEndpoint, 0, &rate, &channels, &bits));
    DeviceFormatRecord set = {sizeof(DeviceFormatRecord), 0, 0, 16, 16, 0, 48000, 48000};
    EXPECT_FALSE(device.AccessFormat(false, &set));
    sim::state()->faults.trelvikRequestFails = 0;

    sim::removeEndpointKey(sim::kDefaultCaptureEndpoint, 1);
    EXPECT_FALSE(device.AccessFormat(true, &set)) << "the capture endpoint has no values";

    ASSERT_TRUE(device.ReadEndpointFormat(sim::kDefaultRenderEndpoint, 0, &rate, &channels, &bits));
    EXPECT_EQ(rate, 44100u);
    EXPECT_EQ(channels, 2);
    EXPECT_EQ(bits, 16);
}
