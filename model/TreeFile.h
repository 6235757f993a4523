// The binary tree file: one fully processed hierarchy, little-endian, depth first.
#pragma once

#include <atomic>
#include <optional>
#include <string>

#include "Census.h"
#include "FileResult.h"
#include "KeptThread.h"
#include "TreeNode.h"

// Deepest nesting below the root that the file may hold (real classifications are under 40
// levels deep); deeper files are refused by the reader and never written by the writer.
constexpr int kMaxTreeFileDepth = 4096;

// Writes `tree` to `path` through a temporary file in the same directory that takes the
// place of `path` in one step only once everything was written. Returns 1 on success; 0 after a
// diagnostic on standard error, leaving any earlier file at `path` untouched.
int writeTreeFile(const ClassificationTree& tree, const char* path);
// The same writing with its outcome as a value, and no diagnostic.
FileResult saveTreeFile(const ClassificationTree& tree, const char* path);

// Reads the file at `path` into `tree` (freshly built, `treeId` set), fills `latinIndex`
// and `commonIndex` in reading order, then prints the rank census. Returns 1 on success.
// On a missing, short or malformed file returns 0 after one diagnostic line on standard
// error naming the file and the byte offset, with `tree` exactly as it was.
int readTreeFile(ClassificationTree& tree, const char* path);
// The same reading (census included) with its outcome as a value, and no diagnostic:
// readTreeFile is this and reportFailure.
FileResult loadTreeFile(ClassificationTree& tree, const char* path);

// Reads `size` bytes at `data` as readTreeFile reads a file of those bytes; `label` stands
// for the file name in the diagnostic.
int readTreeFileBytes(ClassificationTree& tree, const char* data, size_t size, const char* label);

// Writes `tree` into `out` (replacing what it held) as writeTreeFile writes it into a file.
// Returns 1 on success; 0 after a diagnostic naming `label`, with `out` empty.
int writeTreeFileBytes(const ClassificationTree& tree, std::string& out, const char* label);

// Writes the two trees as a pair: each first to `path` + ".new" (see writeTreeFile), and
// only when both are complete do they take the places of `path1` and `path2`. If either
// cannot be written or put in place, both files stay as they were and no ".new" file is
// left. Returns 0 on success, else 1 or 2 for the tree whose file failed, after its
// diagnostic.
int writeTreeFilePair(const ClassificationTree& tree1, const char* path1,
                      const ClassificationTree& tree2, const char* path2);
// The same with its outcome as a value, and no diagnostic; a failure's file is `path1` or
// `path2`.
FileResult saveTreeFilePair(const ClassificationTree& tree1, const char* path1,
                         const ClassificationTree& tree2, const char* path2);

// A readTreeFile on a thread of its own, so that two files can be read at once while what
// is printed keeps its order: the reading starts when this is made and says nothing;
// finish() waits for it and then does what readTreeFile would have done on `tree` (the
// tree handed over, the rank census or the diagnostic printed, the same result). Call
// finish() once; if it is never called, the reading is abandoned and nothing is printed.
class TreeFileReading {
public:
    explicit TreeFileReading(const char* path);
    ~TreeFileReading();
    TreeFileReading(const TreeFileReading&) = delete;
    TreeFileReading& operator=(const TreeFileReading&) = delete;

    int finish(ClassificationTree& tree);
    // finish() with the outcome as a value and no diagnostic (the census is printed).
    FileResult take(ClassificationTree& tree);

private:
    std::string m_path;
    ClassificationTree m_tree;
    FileResult m_result;
    std::optional<RankTally> m_tally;  // counted as it reads
    bool m_read = false;
    std::atomic<bool> m_stop{false};
    // Kept from one reading to the next, so that the second tree of a reload is made in
    // the memory the last one freed (see KeptThread).
    std::optional<KeptThread> m_thread;
};
