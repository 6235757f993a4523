// The classification reader's entry points: the file taken in, one thread or two, and the
// tree handed over only when it was read whole.
#include "ClassificationReader.h"

#include <memory>
#include <string>
#include <system_error>
#include <thread>

#include "ClassificationParser.h"
#include "Console.h"
#include "MappedFile.h"
#include "SplitReading.h"

using namespace model;

namespace {

// Reads `size` bytes at `data`, a file's (`file`) or a caller's (null); `label` names them in
// the diagnostic.
FileResult readWith(ClassificationTree& tree, const char* label, const unsigned char* data,
                 size_t size, const MappedFile* file, size_t splitAt, bool chooseSplitAt) {
    if (chooseSplitAt) {
        splitAt = size >= kSplitMinimum && std::thread::hardware_concurrency() > 1
                      ? chooseSplit(data, size)
                      : 0;
    }
    const MappingGuard* guard = file ? file->guard() : nullptr;
    // Everything is read into a tree of our own and handed over only when complete, so
    // that a failure leaves the caller's tree as it was.
    auto fresh = std::make_unique<ClassificationTree>();
    {
        std::unique_ptr<TailReading> tail;
        try {
            if (splitAt > 0 && splitAt < size)
                tail = std::make_unique<TailReading>(data, size, splitAt, file);
        } catch (const std::system_error&) {  // no second thread to be had: read alone
        }
        if (file) file->populate(0, tail ? splitAt : size);
        Parser reader(label, data, size, *fresh, guard);
        bool ok = reader.readWhole(tail.get());
        if (tail) tail->abandon();
        // The reader's open branches take over their gathered children either way, so
        // that the tree owns every node it was given.
        if (!ok && !(guard && guard->changed())) return reader.failure();
    }
    // Checked once both threads are done with the bytes: what was read from a file that
    // shrank meanwhile is not the file, whether or not it made sense.
    if (guard && guard->changed()) {
        return FileResult::failed(label, bytePlace(guard->changedAt()),
                               "the file changed while it was read (it was shortened)");
    }
    ClassificationTree& f = *fresh;
    f.fileSize = static_cast<int64_t>(size);
    // Fields the reader does not own keep the caller's values.
    f.x = tree.x;
    f.y = tree.y;
    f.width = tree.width;
    f.height = tree.height;
    f.overviewX = tree.overviewX;
    f.overviewY = tree.overviewY;
    f.overviewWidth = tree.overviewWidth;
    f.overviewHeight = tree.overviewHeight;
    f.hitLeft = tree.hitLeft;
    f.hitRight = tree.hitRight;
    f.hitBottom = tree.hitBottom;
    f.hitTop = tree.hitTop;
    f.descendantCount = tree.descendantCount;
    f.combinedDescendantCount = tree.combinedDescendantCount;
    f.maxLevel = tree.maxLevel;
    f.treeId = tree.treeId;
    tree.swapContents(f);
    return {};
}

}  // namespace

namespace {

FileResult readFile(ClassificationTree& tree, const char* path, size_t splitAt, bool chooseSplitAt) {
    MappedFile file;
    std::string error = file.load(path);
    if (!error.empty()) return FileResult::failed(path, bytePlace(0), error);
    return readWith(tree, path, file.bytes(), file.size(), &file, splitAt, chooseSplitAt);
}

const unsigned char* bytesOf(const char* data, size_t size) {
    // A caller with nothing to read may pass no pointer at all.
    return size == 0 ? reinterpret_cast<const unsigned char*>("")
                     : reinterpret_cast<const unsigned char*>(data);
}

}  // namespace

FileResult loadClassification(ClassificationTree& tree, const char* path) {
    return readFile(tree, path, 0, true);
}

int readClassification(ClassificationTree& tree, const char* path) {
    return reportFailure(loadClassification(tree, path)) ? 1 : 0;
}

int readClassificationSplitAt(ClassificationTree& tree, const char* path, size_t splitAt) {
    return reportFailure(readFile(tree, path, splitAt, false)) ? 1 : 0;
}

int readClassificationBytes(ClassificationTree& tree, const char* data, size_t size,
                            const char* label) {
    return reportFailure(readWith(tree, label, bytesOf(data, size), size, nullptr, 0, true)) ? 1
                                                                                            : 0;
}

int readClassificationBytesSplitAt(ClassificationTree& tree, const char* data, size_t size,
                                   const char* label, size_t splitAt) {
    return reportFailure(
               readWith(tree, label, bytesOf(data, size), size, nullptr, splitAt, false))
               ? 1
               : 0;
}
