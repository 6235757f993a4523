// Which vector instructions classify the bytes of a classification file.
#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>

#include "ClassificationReader.h"

// ---------------------------------------------------------------------------------------
// Choice of the byte classifier

bool readerSimdSupported(ReaderSimd simd) {
#if defined(__x86_64__)
    if (simd == ReaderSimd::Avx512) return __builtin_cpu_supports("avx512bw");
    if (simd == ReaderSimd::Avx2) return __builtin_cpu_supports("avx2");
#endif
    return simd == ReaderSimd::Baseline;
}

namespace {

// The widest classifier the processor has, or the narrower one CLADORAMA_SIMD names.
ReaderSimd initialReaderSimd() {
    ReaderSimd widest = readerSimdSupported(ReaderSimd::Avx512) ? ReaderSimd::Avx512
                        : readerSimdSupported(ReaderSimd::Avx2) ? ReaderSimd::Avx2
                                                                 : ReaderSimd::Baseline;
    const char* asked = std::getenv("CLADORAMA_SIMD");
    if (!asked) return widest;
    for (ReaderSimd simd : {ReaderSimd::Baseline, ReaderSimd::Avx2, ReaderSimd::Avx512})
        if (std::strcmp(asked, readerSimdName(simd)) == 0)
            return std::min(simd, widest);
    return widest;
}

std::atomic<ReaderSimd>& currentReaderSimd() {
    static std::atomic<ReaderSimd> current{initialReaderSimd()};
    return current;
}

}  // namespace

ReaderSimd readerSimd() { return currentReaderSimd().load(std::memory_order_relaxed); }

bool setReaderSimd(ReaderSimd simd) {
    if (!readerSimdSupported(simd)) return false;
    currentReaderSimd().store(simd, std::memory_order_relaxed);
    return true;
}

const char* readerSimdName(ReaderSimd simd) {
    switch (simd) {
        case ReaderSimd::Avx512: return "avx512";
        case ReaderSimd::Avx2: return "avx2";
        case ReaderSimd::Baseline: break;
    }
    return "sse2";
}
