// One piece of work at a time on a kept helper thread, which its owner can call off.
//
// The document finds the changes of a loaded pair this way after the first frame: the user
// looks at the picture while they are found, and a new load or the end of the program calls
// them off instead of waiting for them.
#pragma once

#include <atomic>
#include <exception>
#include <functional>
#include <memory>

#include "Cancellation.h"

class KeptThread;

class BackgroundWork {
public:
    BackgroundWork();
    ~BackgroundWork();  // calls off what runs
    BackgroundWork(const BackgroundWork&) = delete;
    BackgroundWork& operator=(const BackgroundWork&) = delete;

    // Runs `work` on a kept thread, inside a cancellation scope; then, unless it was called
    // off, `finished` on that thread (which tells the owner's thread to collect). Runs both
    // here when no thread can be had. Whatever else runs is called off first.
    void start(std::function<void()> work, std::function<void()> finished);
    // Calls off what runs and waits for it to stop: the work passes a cancellation point
    // every few milliseconds. Nothing it made may be used after.
    void cancel();
    // Waits until what runs has ended. True when the work ended by itself (not called off).
    bool wait();
    // The work has ended, by itself (set on the worker before `finished` is called).
    bool ended() const { return m_ended.load(std::memory_order_acquire); }
    // What the work threw, other than Cancelled, once ended.
    std::exception_ptr failure() const { return m_failure; }

private:
    void run();

    std::function<void()> m_work, m_finished;
    std::atomic<bool> m_cancel{false};
    std::atomic<bool> m_ended{false};
    bool m_cancelled = false;
    std::exception_ptr m_failure;
    std::unique_ptr<KeptThread> m_thread;
};
