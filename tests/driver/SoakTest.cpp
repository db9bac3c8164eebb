// A bounded soak of the registered driver by our test host: hundreds of complete sessions in one
// process, in every host style. A crash, a hang or any session that goes wrong fails it; what
// the loopback signal lost is printed as a figure, since at the smallest buffers it depends on
// how loaded the machine is. The README names the long run.
#include "support/TestProcess.h"

#include <gtest/gtest.h>

TEST(Soak, EverySessionOfABoundedRunGoesAsAHostExpects) {
    ASSERT_TRUE(registerDriver(simDriverPath()));
    DWORD code = 99;
    ASSERT_TRUE(runAndWait("\"" + asioHostPath() +
                               "\" soak --sessions 100 --seed 20261208 --dropouts-as-figures",
                           600000, &code))
        << "the soak did not end: a session hung past the host's own watchdog";
    EXPECT_EQ(code, 0u) << "exit code 6: a session failed; 7: one hung; 1: the host crashed "
                           "(the lines above say which, with the command that replays it)";
}
