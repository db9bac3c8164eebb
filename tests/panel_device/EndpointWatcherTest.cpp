// The endpoint watcher over the simulated endpoint enumerator.
#include "SimulatedSystem.h"

#include "cpl/device/EndpointWatcher.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <string>

namespace {

class EndpointWatcher : public ::testing::Test {
protected:
    void SetUp() override { sim::resetToDefaults(); }
    void TearDown() override { sim::resetToDefaults(); }
    sim::SimEndpoint& endpoint(int i) { return sim::state()->endpoints[i]; }
};

} // namespace

TEST_F(EndpointWatcher, ListsTheActiveEndpointsOfEachFlow) {
    CEndpointWatcher watcher;
    ASSERT_TRUE(watcher.HasEnumerator());
    EXPECT_EQ(watcher.GetEndpointCount(0), 0) << "nothing before an enumeration";
    wchar_t text[kEndpointTextChars] = L"untouched";
    EXPECT_FALSE(watcher.GetEndpointId(0, 0, text)) << "no list: no item is asked for";
    EXPECT_STREQ(text, L"untouched");

    watcher.EnumerateEndpoints(0);
    watcher.EnumerateEndpoints(1);
    EXPECT_EQ(watcher.GetEndpointCount(0), 2);
    EXPECT_EQ(watcher.GetEndpointCount(1), 1);
    EXPECT_EQ(watcher.GetEndpointCount(2), 0) << "flows are 0 and 1 only";
    ASSERT_TRUE(watcher.GetEndpointId(0, 1, text));
    EXPECT_STREQ(text, sim::kDefaultRenderEndpoint);
    ASSERT_TRUE(watcher.GetEndpointProperty(0, 1, kEndpointFriendlyName, text));
    EXPECT_STREQ(text, L"Speakers (Quenvora-K9)");
    EXPECT_FALSE(watcher.GetEndpointId(0, 2, text)) << "past the last endpoint";
    EXPECT_FALSE(watcher.GetEndpointId(5, 0, text));

    endpoint(2).active = 0;
    watcher.EnumerateEndpoints(1);
    EXPECT_EQ(watcher.GetEndpointCount(1), 0);
    EXPECT_EQ(watcher.GetEndpointCount(0), 2) << "the other flow's list stays";
}

TEST_F(EndpointWatcher, TextPropertiesAndTheirFailures) {
    CEndpointWatcher watcher;
    watcher.EnumerateEndpoints(0);
    wchar_t text[kEndpointTextChars] = {};

    std::wstring longText(300, L'a');
    std::wcscpy(endpoint(1).hostDevice, longText.c_str());
    ASSERT_TRUE(watcher.GetEndpointProperty(0, 1, kEndpointHostDevice, text));
    EXPECT_EQ(std::wcslen(text), 259u) << "cut to 259 characters and terminated";

    endpoint(1).hostDeviceUnreadable = 1;
    EXPECT_FALSE(watcher.GetEndpointProperty(0, 1, kEndpointHostDevice, text));
    EXPECT_STREQ(text, kDeviceNotAvailable);

    std::wcscpy(text, L"kept");
    EXPECT_FALSE(watcher.GetEndpointProperty(0, 1, 2, text)) << "an unknown selector";
    EXPECT_STREQ(text, L"kept");
    EXPECT_TRUE(watcher.GetEndpointProperty(0, 1, kEndpointDeviceDesc, text) == false);
    EXPECT_STREQ(text, L"kept") << "a property of another type leaves the text as it was";

    // Gone between the count and the access: nothing freed or null is touched.
    endpoint(1).vanishes = 1;
    EXPECT_FALSE(watcher.GetEndpointId(0, 1, text));
    EXPECT_FALSE(watcher.GetEndpointProperty(0, 1, kEndpointHostDevice, text));
    EXPECT_STREQ(text, kDeviceNotAvailable);
}

TEST_F(EndpointWatcher, ABlobTextIsCopiedWithinItsBuffer) {
    endpoint(1).hostDeviceAsBlob = 1;
    std::wstring longText(200, L'b'); // 400 bytes
    std::wcscpy(endpoint(1).hostDevice, longText.c_str());
    CEndpointWatcher watcher;
    watcher.EnumerateEndpoints(0);
    wchar_t text[kEndpointTextChars + 1];
    std::wmemset(text, L'z', kEndpointTextChars + 1);
    ASSERT_TRUE(watcher.GetEndpointProperty(
        0, 1, kEndpointHostDevice, *reinterpret_cast<wchar_t(*)[kEndpointTextChars]>(text)));
    EXPECT_EQ(text[129], L'b') << "260 bytes arrived";
    EXPECT_EQ(text[130], L'z') << "and not one more";
    EXPECT_EQ(text[kEndpointTextChars], L'z');
}

TEST_F(EndpointWatcher, WithoutAnEnumeratorNothingIsListed) {
    sim::state()->enumeratorFails = 1;
    CEndpointWatcher watcher;
    EXPECT_FALSE(watcher.HasEnumerator());
    watcher.EnumerateEndpoints(0);
    EXPECT_EQ(watcher.GetEndpointCount(0), 0);
}
