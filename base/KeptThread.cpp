#include "KeptThread.h"

#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

struct KeptThread::Helper {
    std::mutex mutex;
    std::condition_variable changed;
    std::function<void()> task;  // set: to be run
    bool done = false;

    void serve() {
        for (;;) {
            std::function<void()> next;
            {
                std::unique_lock<std::mutex> lock(mutex);
                changed.wait(lock, [this] { return static_cast<bool>(task); });
                next = std::move(task);
                task = nullptr;
            }
            next();
            {
                std::lock_guard<std::mutex> lock(mutex);
                done = true;
            }
            changed.notify_all();
        }
    }
};

namespace {

// The idle kept threads, the one used last at the back, so that the same work mostly finds
// the same thread. They and their threads live as long as the process: never destroyed, as a
// thread still waiting at exit must not be joined or torn down.
std::mutex g_idleMutex;
size_t g_made = 0;  // threads kept
std::vector<KeptThread::Helper*>& idle() {
    static auto* helpers = new std::vector<KeptThread::Helper*>();
    return *helpers;
}

}  // namespace

KeptThread::KeptThread(std::function<void()> task) {
    {
        std::lock_guard<std::mutex> lock(g_idleMutex);
        if (!idle().empty()) {
            m_helper = idle().back();
            idle().pop_back();
        }
    }
    if (!m_helper) {
        auto helper = std::make_unique<Helper>();
        {
            // Room for every thread made, so that join() never allocates.
            std::lock_guard<std::mutex> lock(g_idleMutex);
            idle().reserve(g_made + 1);
        }
        std::thread([h = helper.get()] { h->serve(); }).detach();  // may throw: nothing kept
        m_helper = helper.release();
        std::lock_guard<std::mutex> lock(g_idleMutex);
        ++g_made;
    }
    {
        std::lock_guard<std::mutex> lock(m_helper->mutex);
        m_helper->done = false;
        m_helper->task = std::move(task);
    }
    m_helper->changed.notify_all();
}

KeptThread::~KeptThread() { join(); }

void KeptThread::join() {
    if (!m_helper) return;
    {
        std::unique_lock<std::mutex> lock(m_helper->mutex);
        m_helper->changed.wait(lock, [this] { return m_helper->done; });
    }
    std::lock_guard<std::mutex> lock(g_idleMutex);
    idle().push_back(m_helper);
    m_helper = nullptr;
}
