// A fault guard's recovery gives back the table lock and the image reads that the abandoned frames
// held, and only those.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <future>
#include <stdexcept>

#include "core/FaultGuard.h"
#include "core/InstanceTable.h"

namespace {

TEST(HeldResources, RecoveryReleasesWhatTheAbandonedFramesHeld) {
    CInstanceTable table;
    ImageGuard image{};
    struct Case {
        const char *what;
        std::function<void()> body;
    };
    const Case cases[] = {
        {"table lock", [&] { table.Lock(); }},
        {"table lock taken twice",
         [&] {
             table.Lock();
             table.Lock();
         }},
        {"image read", [&] { ASSERT_TRUE(image.Enter()); }},
        {"table lock, then an image read",
         [&] {
             table.Lock();
             image.Enter();
         }},
        {"both released before the fault",
         [&] {
             table.Lock();
             image.Enter();
             image.Leave();
             table.Unlock();
         }},
        {"an outer hold released inside",
         [&] {
             table.Lock();
             image.Enter();
             table.Unlock();
         }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(PLATFORM_CPP_EXCEPTION_CODE, RunGuarded([&] {
                      c.body();
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
