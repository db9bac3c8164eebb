// The soak host's session plans: a failed session must replay alone from its seed and number,
// and a long run must reach every host style, rate, width and kind of buffer size.
#include "tools/asiohost/SoakPlan.h"

#include <gtest/gtest.h>

#include <set>

using namespace asiohost;

namespace {

bool samePlan(const SessionPlan& a, const SessionPlan& b) {
    return a.rate == b.rate && a.bits == b.bits && a.size == b.size && a.sizeDraw == b.sizeDraw &&
           a.loopbackPair == b.loopbackPair && a.inputMask == b.inputMask &&
           a.outputMask == b.outputMask && a.timeInfo == b.timeInfo && a.style == b.style &&
           a.streamMs == b.streamMs && a.eventSwitch == b.eventSwitch &&
           a.holdUntilStop == b.holdUntilStop && a.slowMs == b.slowMs &&
           a.freshApartment == b.freshApartment &&
           a.endWhileCallbackStops == b.endWhileCallbackStops;
}

} // namespace

TEST(SoakPlan, ASessionIsReplayedFromItsSeedAndNumberAlone) {
    for (int64_t session : {0LL, 1LL, 17LL, 9999LL}) {
        SCOPED_TRACE(session);
        EXPECT_TRUE(samePlan(planSession(42, session), planSession(42, session)));
    }
    int differentSessions = 0, differentSeeds = 0;
    for (int64_t session = 0; session < 200; ++session) {
        differentSessions += !samePlan(planSession(42, session), planSession(42, session + 1));
        differentSeeds += !samePlan(planSession(42, session), planSession(43, session));
    }
    EXPECT_EQ(differentSessions, 200);
    EXPECT_EQ(differentSeeds, 200);
}

TEST(SoakPlan, ALongRunReachesEveryStyleRateWidthAndSizeKind) {
    std::set<int> styles, sizes, widths;
    std::set<double> rates;
    std::set<bool> timeInfo, fresh, held, pair, racing;
    for (int64_t session = 0; session < 3000; ++session) {
        const SessionPlan p = planSession(7, session);
        styles.insert(static_cast<int>(p.style));
        sizes.insert(static_cast<int>(p.size));
        widths.insert(p.bits);
        rates.insert(p.rate);
        timeInfo.insert(p.timeInfo);
        fresh.insert(p.freshApartment);
        held.insert(p.holdUntilStop);
        pair.insert(p.loopbackPair);
        racing.insert(p.endWhileCallbackStops);
        EXPECT_GE(p.eventSwitch, 1);
        EXPECT_GT(p.slowMs, 1000) << "a slow callback outlasts the driver's one-second wait";
        EXPECT_GE(p.sizeDraw, 0.0);
        EXPECT_LT(p.sizeDraw, 1.0);
    }
    EXPECT_EQ(styles.size(), static_cast<size_t>(kHostStyleCount));
    EXPECT_EQ(sizes.size(), static_cast<size_t>(kSizeRequestCount));
    EXPECT_EQ(widths, (std::set<int>{16, 24, 32}));
    EXPECT_EQ(rates,
              (std::set<double>{8000, 11025, 16000, 22050, 32000, 44100, 48000, 88200, 96000}));
    EXPECT_EQ(timeInfo.size(), 2u);
    EXPECT_EQ(fresh.size(), 2u);
    EXPECT_EQ(held.size(), 2u);
    EXPECT_EQ(pair.size(), 2u);
    EXPECT_EQ(racing.size(), 2u);
}

TEST(SoakPlan, SizesLandWhereTheirKindSaysAndFittingBringsThemInside) {
    constexpr long kMin = 128, kMax = 6144, kPreferred = 1024, kStep = 32;
    int offGranularity = 0;
    for (int64_t session = 0; session < 3000; ++session) {
        const SessionPlan p = planSession(11, session);
        const long asked = requestedFrames(p, kMin, kMax, kPreferred, kStep);
        const long fitted = fittedFrames(asked, kMin, kMax, kStep);
        SCOPED_TRACE(asked);
        EXPECT_GE(fitted, kMin);
        EXPECT_LE(fitted, kMax);
        EXPECT_EQ((fitted - kMin) % kStep, 0);
        switch (p.size) {
        case SizeRequest::Preferred:
            EXPECT_EQ(asked, kPreferred);
            break;
        case SizeRequest::InRange:
            EXPECT_EQ(asked, fitted);
            break;
        case SizeRequest::BelowMinimum:
            EXPECT_LT(asked, kMin);
            EXPECT_GE(asked, 1);
            EXPECT_EQ(fitted, kMin);
            break;
        case SizeRequest::AboveMaximum:
            EXPECT_GT(asked, kMax);
            EXPECT_EQ(fitted, kMax);
            break;
        case SizeRequest::OffGranularity:
            EXPECT_GE(asked, kMin);
            EXPECT_LE(asked, kMax);
            offGranularity += (asked - kMin) % kStep != 0;
            break;
        }
    }
    EXPECT_GT(offGranularity, 0);
    // Drivers that want powers of two, or any size at all.
    EXPECT_EQ(fittedFrames(300, 64, 2048, -1), 512);
    EXPECT_EQ(fittedFrames(5000, 64, 2048, -1), 2048);
    EXPECT_EQ(fittedFrames(301, 64, 2048, 0), 301);
    EXPECT_EQ(fittedFrames(301, 64, 2048, 1), 301);
}

TEST(SoakPlan, ChannelChoicesKeepTheLoopbackPairAndStayInsideTheDevice) {
    EXPECT_EQ(chosenChannels(0, true, 2), (std::vector<long>{0, 1}));
    EXPECT_EQ(chosenChannels(0xFFFFFFFFu, false, 2), (std::vector<long>{0, 1}));
    EXPECT_EQ(chosenChannels(0b10, false, 2), (std::vector<long>{1}));
    EXPECT_EQ(chosenChannels(0b1000, false, 2).size(), 1u) << "never an empty buffer set";
    EXPECT_TRUE(chosenChannels(0, false, 0).empty());
    for (long c : chosenChannels(0xFFFFFFFFu, true, 6))
        EXPECT_LT(c, 6);
}
