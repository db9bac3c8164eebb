// The panel's small rules that need no window: the list texts and the way back, the text
// controls' drawing flags, and the messages the elevated window lets in.
#include "cpl/ui/FormatText.h"
#include "cpl/ui/MessageFilter.h"
#include "cpl/ui/TransparentStatic.h"

#include <gtest/gtest.h>

namespace {

TEST(FormatText, WritesEntriesAndShowsTheDevices32BitsAs24) {
    char text[64];
    FormatText(16, 44100, text, sizeof(text));
    EXPECT_STREQ(text, "16 bit, 44100 Hz");
    FormatText(32, 96000, text, sizeof(text));
    EXPECT_STREQ(text, "24 bit, 96000 Hz");
    char small[8];
    FormatText(24, 48000, small, sizeof(small));
    EXPECT_STREQ(small, "24 bit,");
}

TEST(FormatText, ReadsEveryEntryOfTheListBack) {
    for (const FormatRow& row : kFormatRows) {
        char text[64];
        FormatText(row.bits, row.rate, text, sizeof(text));
        int bits = -1;
        unsigned rate = 1;
        ASSERT_TRUE(ParseFormatText(text, bits, rate)) << text;
        EXPECT_EQ(bits, row.bits);
        EXPECT_EQ(rate, row.rate);
    }
    int bits = -1;
    unsigned rate = 1;
    ASSERT_TRUE(ParseFormatText("auto", bits, rate));
    EXPECT_EQ(bits, 0);
    EXPECT_EQ(rate, 0u);
}

TEST(FormatText, RefusesTextsThatAreNoEntry) {
    int bits = 0;
    unsigned rate = 0;
    for (const char* text :
         {"", "Au", "16 bit", "16 bits 44100", "16 bit, 44", "16 bit, 44100", "garbage text"}) {
        EXPECT_FALSE(ParseFormatText(text, bits, rate)) << text;
    }
    EXPECT_FALSE(ParseFormatText(nullptr, bits, rate));
    // Spaces do not matter, as in the entries the user never types.
    ASSERT_TRUE(ParseFormatText(" 24bit,  48000Hz ", bits, rate));
    EXPECT_EQ(bits, 24);
    EXPECT_EQ(rate, 48000u);
}

TEST(TransparentStatic, DrawFlagsFollowTheStaticStyles) {
    EXPECT_EQ(CTransparentStatic::DrawFlagsForStyle(SS_LEFT), static_cast<UINT>(DT_WORDBREAK));
    EXPECT_EQ(CTransparentStatic::DrawFlagsForStyle(SS_CENTER),
              static_cast<UINT>(DT_CENTER | DT_WORDBREAK));
    EXPECT_EQ(CTransparentStatic::DrawFlagsForStyle(SS_RIGHT | SS_NOPREFIX),
              static_cast<UINT>(DT_RIGHT | DT_NOPREFIX | DT_WORDBREAK));
    EXPECT_EQ(CTransparentStatic::DrawFlagsForStyle(SS_CENTERIMAGE),
              static_cast<UINT>(DT_VCENTER | DT_SINGLELINE));
    EXPECT_EQ(CTransparentStatic::DrawFlagsForStyle(SS_ENDELLIPSIS),
              static_cast<UINT>(DT_WORD_ELLIPSIS | DT_END_ELLIPSIS));
    EXPECT_EQ(CTransparentStatic::DrawFlagsForStyle(SS_PATHELLIPSIS),
              static_cast<UINT>(DT_WORD_ELLIPSIS | DT_PATH_ELLIPSIS));
}

TEST(MessageFilter, LetsInExactlyTheCommandsAndTheShellsRestart) {
    const AllowedMessages allowed = MessagesFromOtherPrograms(0xC123);
    ASSERT_EQ(allowed.count, 2);
    EXPECT_EQ(allowed.messages[0], static_cast<UINT>(WM_COMMAND));
    EXPECT_EQ(allowed.messages[1], 0xC123u);
    EXPECT_EQ(MessagesFromOtherPrograms(0).count, 1);
}

} // namespace
