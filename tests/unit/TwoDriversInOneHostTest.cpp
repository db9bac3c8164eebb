// A host that makes a second driver object while the first one streams (to look at its
// channels, say) must not lose the first one's stream.
#include "InProcessDriver.h"

#include <atomic>

namespace {

std::atomic<long> switches{0};
void countSwitch(long, ASIOBool) {
    ++switches;
}
ASIOCallbacks counting{countSwitch, nullptr, nullptr, nullptr};

bool switchesAdvance() {
    const long before = switches.load();
    for (int i = 0; i < 300; ++i) {
        if (switches.load() >= before + 5)
            return true;
        Sleep(10);
    }
    return false;
}

} // namespace

TEST(TwoDriversInOneHost, TheSecondCannotTakeTheDeviceFromTheFirst) {
    sim::resetToDefaults();
    InProcessDriver first;
    ASSERT_TRUE(first.create());
    ASSERT_EQ(first->init(nullptr), ASIOTrue);
    ASIOBufferInfo infos[] = {{ASIOTrue, 0, {}}, {ASIOFalse, 0, {}}};
    ASSERT_EQ(first->createBuffers(infos, 2, 256, &counting), ASE_OK);
    ASSERT_EQ(first->start(), ASE_OK);
    ASSERT_TRUE(switchesAdvance());

    {
        InProcessDriver second;
        ASSERT_TRUE(second.create());
        EXPECT_EQ(second->init(nullptr), ASIOFalse);
        char text[128] = {};
        second->getErrorMessage(text);
        EXPECT_STREQ(text, "ASIO Driver open failure!");
        ASIOBufferInfo none[1];
        EXPECT_EQ(second->createBuffers(none, 0, 256, &counting), ASE_OK);
        EXPECT_EQ(second->start(), ASE_NotPresent);
        EXPECT_EQ(second->stop(), ASE_OK);
        EXPECT_EQ(second->disposeBuffers(), ASE_OK);
    } // released while the first streams

    EXPECT_TRUE(switchesAdvance()) << "the first object still streams";
    EXPECT_EQ(first->stop(), ASE_OK);
    first.reset();

    InProcessDriver third;
    ASSERT_TRUE(third.create());
    EXPECT_EQ(third->init(nullptr), ASIOTrue) << "the device is free again";
}
