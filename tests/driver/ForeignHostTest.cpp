// The driver as a host built apart from us sees it: plain C, its own structure declarations,
// raw vtable slots called with the thiscall convention.
#include "support/TestProcess.h"

#include <gtest/gtest.h>

TEST(ForeignHost, PlainCHostDrivesTheRegisteredDriverThroughRawSlots) {
    ASSERT_TRUE(registerDriver(simDriverPath()));
    DWORD code = 99;
    ASSERT_TRUE(runAndWait("\"" + testProgramFolder() + "CVtableHost.exe\"", 60000, &code));
    EXPECT_EQ(code, 0u) << "the C host's own checks failed; its output says which";
}
