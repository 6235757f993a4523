#include "MappingGuard.h"

#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>

namespace {

// Readers at the same time: one mapping each (two threads of one reading share it).
constexpr int kSlots = 64;
constexpr uintptr_t kNoFault = UINTPTR_MAX;

// Everything the handler looks at is a lock-free atomic: it may run on any thread, in the
// middle of anything.
struct Slot {
    std::atomic<int> state{0};  // 0 free, 1 being set up or taken down, 2 guarded
    std::atomic<uintptr_t> begin{0};
    std::atomic<uintptr_t> end{0};
    std::atomic<uintptr_t> faultAt{kNoFault};  // offset of the first faulting page
};

Slot g_slots[kSlots];
struct sigaction g_previous;
uintptr_t g_pageSize = 4096;

void passOn(int sig, siginfo_t* info, void* context) {
    if (g_previous.sa_flags & SA_SIGINFO) {
        if (g_previous.sa_sigaction) {
            g_previous.sa_sigaction(sig, info, context);
            return;
        }
    } else if (g_previous.sa_handler != SIG_DFL && g_previous.sa_handler != SIG_IGN) {
        g_previous.sa_handler(sig);
        return;
    }
    // The default action: a fault repeats as soon as the handler returns and then ends the
    // process; a signal that was sent is sent again.
    struct sigaction dfl = {};
    dfl.sa_handler = SIG_DFL;
    sigemptyset(&dfl.sa_mask);
    sigaction(SIGBUS, &dfl, nullptr);
    if (info->si_code <= 0) raise(SIGBUS);
}

void onSigbus(int sig, siginfo_t* info, void* context) {
    const uintptr_t address = reinterpret_cast<uintptr_t>(info->si_addr);
    if (info->si_code > 0) {  // raised by a memory access, not sent
        for (Slot& s : g_slots) {
            if (s.state.load(std::memory_order_acquire) != 2) continue;
            const uintptr_t begin = s.begin.load(std::memory_order_relaxed);
            const uintptr_t end = s.end.load(std::memory_order_relaxed);
            if (address < begin || address >= end) continue;
            // Zeros over everything from the faulting page on, so that the reading runs into
            // no second fault wherever it goes next.
            const uintptr_t page = address & ~(g_pageSize - 1);
            const uintptr_t last = (end + g_pageSize - 1) & ~(g_pageSize - 1);
            void* p = mmap(reinterpret_cast<void*>(page), last - page, PROT_READ,
                           MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0);
            if (p == MAP_FAILED) break;
            uintptr_t offset = page - begin;
            uintptr_t seen = s.faultAt.load(std::memory_order_relaxed);
            while (offset < seen &&
                   !s.faultAt.compare_exchange_weak(seen, offset, std::memory_order_release)) {
            }
            return;
        }
    }
    passOn(sig, info, context);
}

// Installed once, on the first guard, and kept: whatever handled SIGBUS before still gets
// every signal that is not ours.
bool installHandler() {
    g_pageSize = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
    struct sigaction action = {};
    action.sa_sigaction = onSigbus;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_RESTART;
    sigemptyset(&action.sa_mask);
    return sigaction(SIGBUS, &action, &g_previous) == 0;
}

}  // namespace

MappingGuard::MappingGuard(const void* data, size_t size) {
    static const bool installed = installHandler();
    if (!installed) return;
    for (int i = 0; i < kSlots; ++i) {
        int free = 0;
        if (!g_slots[i].state.compare_exchange_strong(free, 1, std::memory_order_acquire))
            continue;
        Slot& s = g_slots[i];
        s.begin.store(reinterpret_cast<uintptr_t>(data), std::memory_order_relaxed);
        s.end.store(reinterpret_cast<uintptr_t>(data) + size, std::memory_order_relaxed);
        s.faultAt.store(kNoFault, std::memory_order_relaxed);
        s.state.store(2, std::memory_order_release);
        m_slot = i;
        return;
    }
}

MappingGuard::~MappingGuard() {
    if (m_slot < 0) return;
    Slot& s = g_slots[m_slot];
    s.state.store(1, std::memory_order_release);
    s.begin.store(0, std::memory_order_relaxed);
    s.end.store(0, std::memory_order_relaxed);
    s.state.store(0, std::memory_order_release);
}

bool MappingGuard::changed() const {
    return m_slot >= 0 && g_slots[m_slot].faultAt.load(std::memory_order_acquire) != kNoFault;
}

size_t MappingGuard::changedAt() const {
    return changed() ? static_cast<size_t>(g_slots[m_slot].faultAt.load(std::memory_order_acquire))
                     : 0;
}
