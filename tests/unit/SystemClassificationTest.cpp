// The two classifications of the running Windows: the panel's and installer's version code, and
// the driver's system generation, over the versions they tell apart.
#include "asio/SystemGeneration.h"
#include "common/WindowsVersion.h"
#include "sim/SimDeviceState.h"

#include <gtest/gtest.h>

namespace {

struct VersionCase {
    DWORD platform;
    DWORD major;
    DWORD minor;
    BYTE productType;
    int versionCode; // -1: ReadSystemInfo fails
    int generation;  // -1: the driver cannot classify it
};

constexpr DWORD kNt = VER_PLATFORM_WIN32_NT;
constexpr DWORD k9x = VER_PLATFORM_WIN32_WINDOWS;
constexpr BYTE kWs = VER_NT_WORKSTATION;
constexpr BYTE kSrv = VER_NT_SERVER;

constexpr VersionCase kCases[] = {
    {VER_PLATFORM_WIN32s, 3, 1, 0, 0, 0},
    {k9x, 4, 0, 0, 1, 1},
    {k9x, 4, 10, 0, 2, 2},
    {k9x, 4, 90, 0, 3, 3},
    {k9x, 4, 20, 0, 12, -1},
    {kNt, 3, 51, kWs, 4, 4},
    {kNt, 4, 0, kWs, 4, 4},
    {kNt, 5, 0, kWs, 5, 5},
    {kNt, 5, 1, kWs, 6, 6},
    {kNt, 5, 2, kSrv, 7, 7},
    {kNt, 5, 3, kWs, 12, -1},
    {kNt, 6, 0, kWs, 8, 8},
    {kNt, 6, 0, kSrv, 9, 8},
    {kNt, 6, 1, kWs, 10, 8},
    {kNt, 6, 1, kSrv, 11, 8},
    {kNt, 6, 2, kWs, 12, 8},
    {kNt, 6, 3, kWs, 12, 8},
    {kNt, 10, 0, kWs, 12, 8},
    {kNt, 10, 0, kSrv, 12, 8},
    {kNt, 7, 0, kWs, 12, 8},
    {7, 1, 0, 0, -1, -1},
};

class SystemClassification : public ::testing::Test {
protected:
    void SetUp() override { sim::resetToDefaults(); }
    void TearDown() override { sim::resetToDefaults(); }

    void use(const VersionCase& c) {
        sim::SimVersion& v = sim::state()->version;
        v.active = 1;
        v.platformId = c.platform;
        v.major = c.major;
        v.minor = c.minor;
        v.productType = c.productType;
        v.hasNativeSystemInfo = 1;
        v.nativeArchitecture = PROCESSOR_ARCHITECTURE_INTEL;
    }
};

} // namespace

TEST_F(SystemClassification, BothTablesAgreeWithTheVersions) {
    for (const VersionCase& c : kCases) {
        use(c);
        SCOPED_TRACE(testing::Message() << c.platform << " " << c.major << "." << c.minor
                                        << " type " << int(c.productType));
        CPlatformInfo info;
        const bool read = ReadSystemInfo(info);
        EXPECT_EQ(read, c.versionCode >= 0);
        if (read) {
            EXPECT_EQ(info.versionCode, c.versionCode);
            EXPECT_EQ(info.majorVersion, c.platform == kNt ? c.major : 0u);
        }
        int generation = -7;
        const bool classified = classifySystemGeneration(generation);
        EXPECT_EQ(classified, c.generation >= 0);
        if (classified) {
            EXPECT_EQ(generation, c.generation);
        }
    }
}

TEST_F(SystemClassification, FallsBackToTheBasicVersionRecord) {
    use({kNt, 6, 0, kWs, 8, 8});
    sim::state()->version.failExtended = 1;
    CPlatformInfo info;
    ASSERT_TRUE(ReadSystemInfo(info));
    // The basic record has no product type, so a 6.0 system is not known to be a workstation.
    EXPECT_EQ(info.versionCode, 9);
    int generation = 0;
    ASSERT_TRUE(classifySystemGeneration(generation));
    EXPECT_EQ(generation, 8);

    sim::state()->version.failBasic = 1;
    EXPECT_FALSE(ReadSystemInfo(info));
    EXPECT_FALSE(classifySystemGeneration(generation));
}

TEST_F(SystemClassification, NativeProcessorDecidesX86) {
    use({kNt, 6, 1, kWs, 10, 8});
    const struct {
        int32_t hasNative;
        WORD arch;
        bool x86;
    } cases[] = {{1, PROCESSOR_ARCHITECTURE_AMD64, false},
                 {1, PROCESSOR_ARCHITECTURE_IA64, false},
                 {1, PROCESSOR_ARCHITECTURE_INTEL, true},
                 {1, PROCESSOR_ARCHITECTURE_ARM, true}};
    for (const auto& c : cases) {
        sim::state()->version.hasNativeSystemInfo = c.hasNative;
        sim::state()->version.nativeArchitecture = c.arch;
        CPlatformInfo info;
        ASSERT_TRUE(ReadSystemInfo(info));
        EXPECT_EQ(info.x86, c.x86) << "architecture " << c.arch;
    }
}
