// Reader of the tag-format classification files.
#pragma once

#include "FileResult.h"
#include "TreeNode.h"

// Deepest nesting of branches accepted; real classifications are under 40 levels deep.
constexpr int kMaxClassificationDepth = 4096;
// Longest token or value accepted, the longest string the binary tree file can hold.
constexpr size_t kMaxNameLength = 32767;

// Reads the classification file at `path` into `tree`, which must be freshly built.
// Prints "%lf %% loading\n" on the console once per branch. Returns 1 on success. On any
// failure (cannot open, early end, over-long token or value, a NUL byte in a value, nesting
// too deep, the file changing while it is read) returns 0, prints one diagnostic line on
// standard error naming the file, the byte offset and what was expected, and leaves `tree`
// as freshly built.
int readClassification(ClassificationTree& tree, const char* path);

// The same reading with its outcome as a value, and no diagnostic: the caller tells the
// failure (file, byte offset, what was expected) where it belongs. readClassification is
// this and reportFailure.
FileResult loadClassification(ClassificationTree& tree, const char* path);

// Reads `size` bytes at `data` as readClassification reads a file of those bytes; `label`
// stands for the file name in the diagnostic, and `fileSize` becomes `size`.
int readClassificationBytes(ClassificationTree& tree, const char* data, size_t size,
                            const char* label);

// Reads as readClassification does, but with the part of the file from byte `splitAt` on
// parsed by a second thread while the first thread reads up to it (0, or a value at or past
// the end of the file: one thread). Wherever `splitAt` falls, even inside a value or a
// token, the outcome (tree, console lines, diagnostic, return value) is the same as a
// reading by one thread; readClassification picks the split itself for large files. Exposed
// so that tests can prove that sameness for every split.
int readClassificationSplitAt(ClassificationTree& tree, const char* path, size_t splitAt);
int readClassificationBytesSplitAt(ClassificationTree& tree, const char* data, size_t size,
                                   const char* label, size_t splitAt);

// The vector instructions that classify the file's bytes. The reader uses the widest the
// processor has, unless CLADORAMA_SIMD in the environment, read once per process, names a
// narrower one ("avx2", or "sse2" for the baseline of every x86-64 processor; "avx512" is
// the widest): the narrower paths can then be measured and tested on a wide machine.
// Every path reads every file alike.
enum class ReaderSimd { Baseline, Avx2, Avx512 };
bool readerSimdSupported(ReaderSimd simd);
ReaderSimd readerSimd();
// Makes readings that start from now on use `simd`; false, changing nothing, when the
// processor lacks it.
bool setReaderSimd(ReaderSimd simd);
// "sse2", "avx2" or "avx512", the names CLADORAMA_SIMD takes.
const char* readerSimdName(ReaderSimd simd);
