// A fault guard's recovery gives back the table lock and image reads the abandoned frames held, and only those.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <stdexcept>

#include "core/FaultGuard.h"
#include "core/InstanceTable.h"

namespace {

TEST(HeldResources, RecoveryReleasesWhatTheAbandonedFramesHeld) {
    CInstanceTable table;
    ImageGuard image{};
    // What the frames do before the fault: L/U take and give back the table lock, E/X an image read.
    for (const char *steps : {"L", "LL", "E", "LE", "LEXU", "LEU"}) {
        SCOPED_TRACE(steps);
        EXPECT_EQ(PLATFORM_CPP_EXCEPTION_CODE, RunGuarded([&] {
                      for (const char *step = steps; *step; ++step) {
                          if (*step == 'L') table.Lock();
                          if (*step == 'U') table.Unlock();
                          if (*step == 'E') {
                              EXPECT_TRUE(image.Enter());
                          }
                          if (*step == 'X') image.Leave();
                      }
                      throw std::runtime_error("fault while holding");
                  }));
        EXPECT_EQ(0, image.readers.load());
        // Another thread can take the table lock: nothing is left held by the abandoned frames.
        auto other = std::async(std::launch::async, [&] {
            table.Lock();
            table.Unlock();
        });
        ASSERT_EQ(std::future_status::ready, other.wait_for(std::chrono::seconds(5)));
    }
}

}  // namespace
