#include "platform/stop_signals.h"

#include <gtest/gtest.h>

namespace {

TEST(StopSignals, ArriveOnTheLoopAndNoneOutlivesTheObject) {
    platform::EventLoop loop;
    int stops = 0;
    {
        platform::StopSignals signals;
        ::raise(SIGTERM);  // blocked: waits for the watch
        ASSERT_TRUE(signals.watch(loop, [&] { ++stops; }));
        ::raise(SIGINT);
        for (int pass = 0; pass < 20 && stops == 0; ++pass) {
            loop.runOnce(10);
        }
        EXPECT_EQ(stops, 1) << "both read in one pass";
        // Still pending when the mask is restored, it would end this process.
        ::raise(SIGTERM);
    }
    EXPECT_EQ(stops, 1);
    EXPECT_EQ(loop.runOnce(0), 0);
}

}  // namespace
