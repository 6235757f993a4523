#include "BackgroundWork.h"

#include <system_error>

#include "KeptThread.h"

BackgroundWork::BackgroundWork() = default;

BackgroundWork::~BackgroundWork() { cancel(); }

void BackgroundWork::run() {
    try {
        CancellationScope scope(m_cancel);
        m_work();
    } catch (const Cancelled&) {
        m_cancelled = true;
        return;
    } catch (...) {
        m_failure = std::current_exception();
    }
    m_ended.store(true, std::memory_order_release);
    if (m_finished) m_finished();
}

void BackgroundWork::start(std::function<void()> work, std::function<void()> finished) {
    cancel();
    m_cancel.store(false);
    m_ended.store(false);
    m_cancelled = false;
    m_failure = nullptr;
    m_work = std::move(work);
    m_finished = std::move(finished);
    try {
        m_thread = std::make_unique<KeptThread>([this] { run(); });
    } catch (const std::system_error&) {  // no thread to be had: the work is done here
        run();
    }
}

void BackgroundWork::cancel() {
    if (!m_thread) return;
    m_cancel.store(true);
    m_thread.reset();  // joins
}

bool BackgroundWork::wait() {
    m_thread.reset();
    return m_ended.load() && !m_cancelled;
}
