// Long work on a helper thread that the thread which started it may call off.
//
// The work runs inside a CancellationScope bound to a flag that its owner sets. Its loops
// pass cancellationPoint() every few thousand steps, which throws Cancelled once the flag
// is set; the scope's owner catches it. The loops need no argument for it, so the passes of
// the comparison keep their signatures, and called without a scope (the command line, the
// tests) a point costs one thread-local load.
#pragma once

#include <atomic>
#include <exception>
#include <utility>

#include "KeptThread.h"

struct Cancelled {};

namespace cancellation {
extern thread_local const std::atomic<bool>* t_flag;
}

class CancellationScope {
public:
    explicit CancellationScope(const std::atomic<bool>& flag) : CancellationScope(&flag) {}
    // The scope of another thread's work, for a thread that work starts (null: none).
    explicit CancellationScope(const std::atomic<bool>* flag) : m_outer(cancellation::t_flag) {
        cancellation::t_flag = flag;
    }
    ~CancellationScope() { cancellation::t_flag = m_outer; }
    CancellationScope(const CancellationScope&) = delete;
    CancellationScope& operator=(const CancellationScope&) = delete;

private:
    const std::atomic<bool>* m_outer;
};

// The flag of this thread's scope (null outside any), to hand to the threads it starts.
inline const std::atomic<bool>* cancellationFlag() { return cancellation::t_flag; }

inline void cancellationPoint() {
    const std::atomic<bool>* flag = cancellation::t_flag;
    if (flag && flag->load(std::memory_order_relaxed)) throw Cancelled{};
}

// For a loop over millions: a point every 4096 steps of `step`.
inline void cancellationPoint(size_t step) {
    if ((step & 4095) == 0) cancellationPoint();
}

// Work on a helper thread, in the cancellation scope of the thread that starts it, joined
// however that thread leaves: what it throws, Cancelled included, join() throws again. The
// helper is a kept thread (see KeptThread.h), so that what it allocates comes from memory
// an earlier load left in its arena, not from memory faulted in afresh.
class ScopedThread {
public:
    template <class F>
    explicit ScopedThread(F&& f)
        : m_thread([this, flag = cancellationFlag(), f = std::forward<F>(f)]() mutable {
              CancellationScope scope(flag);
              try {
                  f();
              } catch (...) {
                  m_failure = std::current_exception();
              }
          }) {}
    ScopedThread(const ScopedThread&) = delete;
    ScopedThread& operator=(const ScopedThread&) = delete;
    void join() {
        m_thread.join();
        if (m_failure) std::rethrow_exception(std::exchange(m_failure, nullptr));
    }

private:
    std::exception_ptr m_failure;
    KeptThread m_thread;  // last: started once the rest is made; its destructor waits
};
