// The binary tree file: one fully processed hierarchy, little-endian, depth first.
#pragma once

#include <string>

#include "TreeNode.h"

// Deepest nesting below the root that the file may hold (real classifications are under 40
// levels deep); deeper files are refused by the reader and never written by the writer.
constexpr int kMaxTreeFileDepth = 4096;

// Writes `tree` to `path` through a temporary file in the same directory that is renamed
// over `path` only once everything was written. Returns 1 on success; 0 after a
// diagnostic on standard error, leaving any earlier file at `path` untouched.
int writeTreeFile(const ClassificationTree& tree, const char* path);

// Reads the file at `path` into `tree` (freshly built, `treeId` set), fills `latinIndex`
// and `commonIndex` in reading order, then prints the rank census. Returns 1 on success.
// On a missing, short or malformed file returns 0 after one diagnostic line on standard
// error naming the file and the byte offset, with `tree` exactly as it was.
int readTreeFile(ClassificationTree& tree, const char* path);

// Reads `size` bytes at `data` as readTreeFile reads a file of those bytes; `label` stands
// for the file name in the diagnostic.
int readTreeFileBytes(ClassificationTree& tree, const char* data, size_t size, const char* label);

// Writes `tree` into `out` (replacing what it held) as writeTreeFile writes it into a file.
// Returns 1 on success; 0 after a diagnostic naming `label`, with `out` empty.
int writeTreeFileBytes(const ClassificationTree& tree, std::string& out, const char* label);
