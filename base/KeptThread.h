// Work run beside the calling thread on a helper thread that is kept for the life of the
// process, instead of a thread made for each piece of work.
//
// The allocator gives each thread memory from the arena the thread is bound to, and a new
// thread may be bound to another arena than the one made for the same work before it. A
// second load of millions of taxa whose second thread landed in an arena no load used yet
// faults in hundreds of megabytes afresh (seconds, on some machines), while the memory the
// first load freed lies idle in another arena. A kept thread keeps its arena, and the memory
// in it, from one load to the next.
#pragma once

#include <exception>
#include <functional>
#include <optional>
#include <system_error>

class KeptThread {
public:
    // Runs `task` on an idle kept thread, or on one made for it (and kept after). Throws
    // std::system_error, as std::thread does, when no thread can be had. A task that throws
    // ends the process, as on a std::thread: tasks catch what they expect.
    explicit KeptThread(std::function<void()> task);
    // Waits for the task, unless join() did.
    ~KeptThread();
    KeptThread(const KeptThread&) = delete;
    KeptThread& operator=(const KeptThread&) = delete;
    // Waits for the task; the thread goes back to the idle ones.
    void join();

    struct Helper;

private:
    Helper* m_helper = nullptr;
};

// Runs `here` on this thread and `beside` on a kept one (in turn where there is none), and
// waits for both. What `beside` throws is thrown here.
template <class Here, class Beside>
void sideBySide(Here&& here, Beside&& beside) {
    std::exception_ptr failure;
    auto caught = [&] {
        try {
            beside();
        } catch (...) {
            failure = std::current_exception();
        }
    };
    std::optional<KeptThread> other;
    try {
        other.emplace(caught);
    } catch (const std::system_error&) {
        caught();
    }
    here();
    other.reset();
    if (failure) std::rethrow_exception(failure);
}
