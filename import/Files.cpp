// How a file's reading ends: its one failure caught for the entry point, or the file found
// shortened meanwhile. And zip entries in memory: archives are never extracted, entries are
// read into memory, so no name inside one can point outside it, and the bytes an archive may
// inflate to are bounded, so a zip bomb fails instead of filling the memory.
#include <archive.h>
#include <archive_entry.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "Console.h"
#include "ImportFailure.h"
#include "Packages.h"

namespace imp {

namespace {

// The guard of the file this thread reads (FileReading), if any.
thread_local const MappingGuard* t_reading = nullptr;
// The package whose files this thread reads (PackageReading), if any.
thread_local const Package* t_package = nullptr;
// Where this thread's importer entry point collects the failure (FailureCatch), if any.
thread_local FailureCatch* t_catch = nullptr;

void fail(Failure failure, bool overrule) {
    if (!t_catch) {
        reportFailure(FileResult(std::move(failure)));
        return;
    }
    t_catch->keep(std::move(failure), overrule);
}

}  // namespace

void importFailure(const std::string& file, std::string place, std::string fault) {
    if (t_reading && t_reading->changed()) return;
    std::string shortened;
    if (t_package && t_package->shortened(shortened)) return;
    fail(Failure{file, std::move(place), std::move(fault), {}}, false);
}

FailureCatch::FailureCatch() : m_outer(t_catch) { t_catch = this; }

FailureCatch::~FailureCatch() { t_catch = m_outer; }

void FailureCatch::keep(Failure failure, bool overrule) {
    if (m_failed && !overrule) return;
    m_failed = true;
    m_failure = std::move(failure);
}

FileResult FailureCatch::result(bool ok, const std::string& label) const {
    if (m_failed) return m_failure;
    if (ok) return {};
    return FileResult::failed(label, {}, "cannot be read");  // every failure names itself; never seen
}

FileReading::FileReading(const FileData& file) : m_file(file), m_outer(t_reading) {
    t_reading = file.guard();
}

FileReading::~FileReading() { t_reading = m_outer; }

bool FileReading::finish(ClassificationTree& tree, bool ok, const std::string& label) {
    if (!m_file.changed()) return ok;
    if (ok) {
        // Back to the tree as the caller built it, keeping what the importer kept of it.
        ClassificationTree fresh;
        keepCallerFields(fresh, tree);
        tree.swapContents(fresh);
    }
    // Whatever the zeros read made the importer say, the change is what went wrong.
    fail(Failure{label, bytePlace(m_file.changedAt()),
                 "the file changed while it was read (it was shortened)", {}},
         true);
    return false;
}

PackageReading::PackageReading(const Package& package) : m_package(package), m_outer(t_package) {
    t_package = &package;
}

PackageReading::~PackageReading() { t_package = m_outer; }

bool PackageReading::finish(ClassificationTree& tree, bool ok, const std::string& label) {
    t_package = m_outer;
    std::string error;
    if (!m_package.shortened(error)) return ok;
    if (ok) {
        ClassificationTree fresh;
        keepCallerFields(fresh, tree);
        tree.swapContents(fresh);
    }
    fail(Failure{label, {}, error, {}}, true);
    return false;
}

namespace {

struct ArchiveCloser {
    void operator()(archive* a) const { archive_read_free(a); }
};
using ArchivePtr = std::unique_ptr<archive, ArchiveCloser>;

ArchivePtr openZip(const char* data, size_t size, std::string& error) {
    ArchivePtr a(archive_read_new());
    if (!a) {
        error = "out of memory";
        return nullptr;
    }
    archive_read_support_format_zip(a.get());
    if (archive_read_open_memory(a.get(), data, size) != ARCHIVE_OK) {
        const char* why = archive_error_string(a.get());
        error = std::string("not a readable zip archive: ") + (why ? why : "unknown format");
        return nullptr;
    }
    return a;
}

}  // namespace

bool listZip(const char* data, size_t size, std::vector<std::string>& names, std::string& error) {
    ArchivePtr a = openZip(data, size, error);
    if (!a) return false;
    archive_entry* entry;
    int r;
    while ((r = archive_read_next_header(a.get(), &entry)) == ARCHIVE_OK) {
        if (archive_entry_filetype(entry) == AE_IFREG && archive_entry_pathname(entry))
            names.emplace_back(archive_entry_pathname(entry));
        archive_read_data_skip(a.get());
    }
    if (r != ARCHIVE_EOF) {
        const char* why = archive_error_string(a.get());
        error = std::string("damaged zip archive: ") + (why ? why : "unreadable entry");
        return false;
    }
    return true;
}

bool readZip(const char* data, size_t size, const std::function<bool(const std::string&)>& want,
             uint64_t limit, std::vector<ZipEntry>& entries, std::string& error) {
    ArchivePtr a = openZip(data, size, error);
    if (!a) return false;
    archive_entry* entry;
    int r;
    uint64_t total = 0;
    while ((r = archive_read_next_header(a.get(), &entry)) == ARCHIVE_OK) {
        const char* name = archive_entry_pathname(entry);
        if (archive_entry_filetype(entry) != AE_IFREG || !name || !want(name)) {
            archive_read_data_skip(a.get());
            continue;
        }
        ZipEntry e;
        e.name = name;
        char block[1 << 16];
        for (;;) {
            la_ssize_t n = archive_read_data(a.get(), block, sizeof block);
            if (n == 0) break;
            if (n < 0) {
                const char* why = archive_error_string(a.get());
                error = "entry " + e.name + ": " + (why ? why : "cannot be read");
                return false;
            }
            total += static_cast<uint64_t>(n);
            if (total > limit) {
                error = "entry " + e.name + ": the archive inflates to more than " +
                        std::to_string(limit) + " bytes (refused as a zip bomb)";
                return false;
            }
            e.data.append(block, static_cast<size_t>(n));
        }
        entries.push_back(std::move(e));
    }
    if (r != ARCHIVE_EOF) {
        const char* why = archive_error_string(a.get());
        error = std::string("damaged zip archive: ") + (why ? why : "unreadable entry");
        return false;
    }
    return true;
}

uint64_t zipLimit(const ImportOptions& options, uint64_t archiveSize) {
    if (options.maxUncompressedBytes) return options.maxUncompressedBytes;
    // Text checklists deflate ten to thirty times; a hundred times the archive (and never
    // less than 256 MB, never more than 8 GB) leaves room for any real one.
    uint64_t limit = std::max<uint64_t>(uint64_t{256} << 20, archiveSize * 100);
    return std::min<uint64_t>(limit, uint64_t{8} << 30);
}

}  // namespace imp
