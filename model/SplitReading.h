// The two-thread reading of a large classification file: the part from a byte near the
// middle is parsed by a second thread while the first reads up to it.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include "ClassificationParser.h"
#include "MappedFile.h"

namespace model {

// The tail part's reading as a job that whichever thread comes first runs: the worker
// below, or the first thread itself when it needs the part and nobody has started it. Shared,
// so that a worker that comes too late finds it taken even once the reading is over.
struct TailJob {
    std::atomic<int> state{0};  // 0 waiting, 1 running, 2 done
    std::function<bool()> read;
    bool ok = false;
    std::mutex mutex;
    std::condition_variable finished;

    // Runs the job if nobody has yet; true if this call ran it.
    bool claimAndRun() {
        int waiting = 0;
        if (!state.compare_exchange_strong(waiting, 1)) return false;
        bool result = read();
        std::lock_guard<std::mutex> lock(mutex);
        ok = result;
        state.store(2);
        finished.notify_all();
        return true;
    }
    bool wait() {
        claimAndRun();
        std::unique_lock<std::mutex> lock(mutex);
        finished.wait(lock, [this] { return state.load() == 2; });
        return ok;
    }
};

// One thread kept for the tail parts: starting a thread for every reading costs more than
// reading a small file, and waiting for a sleeping thread to wake costs as much again; so the
// job is offered to the worker, and the first thread takes it back if the worker has not
// started it by the time the first thread's own reading gets there.
class TailWorker {
public:
    // Offers the job; false if the worker is busy with another.
    static bool offer(const std::shared_ptr<TailJob>& job) {
        static TailWorker* worker = start();  // lives as long as the process
        if (!worker) return false;
        std::lock_guard<std::mutex> lock(worker->m_mutex);
        if (worker->m_job) return false;
        worker->m_job = job;
        worker->m_taken = false;
        worker->m_wake.notify_one();
        return true;
    }

    // Called once the job is done: takes it back if the worker never woke for it, or waits
    // for the worker to let go of it (it has nothing left to do with it then). So the job
    // goes when its reading does, not whenever a late worker gets round to dropping it.
    static void release(const std::shared_ptr<TailJob>& job) {
        TailWorker* worker = s_worker.load(std::memory_order_acquire);
        if (!worker) return;
        std::unique_lock<std::mutex> lock(worker->m_mutex);
        if (worker->m_job != job) return;
        if (!worker->m_taken) {
            worker->m_job.reset();
            return;
        }
        worker->m_idle.wait(lock, [&] { return worker->m_job != job; });
    }

private:
    static TailWorker* start() {
        auto* worker = new TailWorker;
        try {
            std::thread([worker] { worker->run(); }).detach();
        } catch (const std::system_error&) {
            delete worker;
            return nullptr;
        }
        s_worker.store(worker, std::memory_order_release);
        return worker;
    }
    [[noreturn]] void run() {
        std::unique_lock<std::mutex> lock(m_mutex);
        for (;;) {
            m_wake.wait(lock, [this] { return m_job != nullptr && !m_taken; });
            m_taken = true;
            std::shared_ptr<TailJob> job = m_job;
            lock.unlock();
            job->claimAndRun();
            job.reset();
            lock.lock();
            m_job.reset();  // free for the next reading only once this one is done
            m_idle.notify_all();
        }
    }
    static inline std::atomic<TailWorker*> s_worker{nullptr};
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    std::shared_ptr<TailJob> m_job;
    bool m_taken = false;  // the worker has woken for m_job
};

// A tail part read on a second thread.
class TailReading {
public:
    // `file`, when the bytes are a file's, is told which pages the part will read.
    TailReading(const unsigned char* data, size_t size, size_t start, const MappedFile* file)
        : m_parser(data, size, start, m_stop), m_job(std::make_shared<TailJob>()) {
        // The first thread recognises the part's start when its own reading takes a token
        // from this very byte: from there on both read the same bytes the same way.
        m_firstToken = Scanner(data, size).nextNonWhitespace(start);
        m_job->read = [this, file, start, size] {
            if (file) file->populate(start, size);
            return m_parser.readTail();
        };
        // A large part that the worker cannot take gets a thread of its own; a small one is
        // read by the first thread when it gets there.
        if (!TailWorker::offer(m_job) && size >= kSplitMinimum)
            m_thread = std::thread([job = m_job] { job->claimAndRun(); });
    }
    ~TailReading() { finish(); }

    size_t firstToken() const { return m_firstToken; }
    void abandon() { m_stop.store(true, std::memory_order_relaxed); }
    // Waits for the part to be read (reading it here if nobody has started); true if it was
    // read to the end of the file.
    bool finish() {
        bool ok = m_job->wait();
        if (m_thread.joinable()) m_thread.join();
        TailWorker::release(m_job);
        return ok;
    }
    Parser& parser() { return m_parser; }

private:
    std::atomic<bool> m_stop{false};
    Parser m_parser;
    std::shared_ptr<TailJob> m_job;
    size_t m_firstToken = 0;
    std::thread m_thread;  // when the worker was busy
};

// A byte near the middle of `data` where the second thread may start, or 0 for none.
size_t chooseSplit(const unsigned char* data, size_t size);

}  // namespace model
