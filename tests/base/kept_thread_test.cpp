// Work run beside the caller on kept threads: one piece after another finds the same thread
// (and so the same allocator arena), pieces at once get threads of their own, and the caller
// waits for the work, also when it leaves the scope without asking.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "KeptThread.h"

TEST(KeptThread, WorkAfterWorkFindsTheSameThreadAndWorkAtOnceGetsOneEach) {
    std::thread::id first, second, a, b;
    KeptThread([&] { first = std::this_thread::get_id(); }).join();
    {
        KeptThread t([&] { second = std::this_thread::get_id(); });
    }  // joined when it goes
    EXPECT_NE(first, std::thread::id());
    EXPECT_NE(first, std::this_thread::get_id());
    EXPECT_EQ(second, first);

    // Two at once: neither waits for the other (each waits until both have started).
    std::atomic<int> started{0};
    auto meet = [&started](std::thread::id& id) {
        id = std::this_thread::get_id();
        ++started;
        for (int i = 0; started < 2 && i < 5000; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    };
    {
        KeptThread one([&] { meet(a); }), two([&] { meet(b); });
        one.join();
        two.join();
    }
    EXPECT_EQ(started, 2);
    EXPECT_NE(a, b);

    // join() returns only once the work is done.
    std::atomic<bool> done{false};
    KeptThread slow([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        done = true;
    });
    slow.join();
    EXPECT_TRUE(done);
}
