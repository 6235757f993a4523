// gzip through libarchive's raw format: the one compressed stream, no archive around it.
#include "Gzip.h"

#include <archive.h>
#include <archive_entry.h>

#include <cstring>
#include <memory>

namespace imp {

bool looksLikeGzip(const char* data, size_t size) {
    return size >= 2 && static_cast<unsigned char>(data[0]) == 0x1F &&
           static_cast<unsigned char>(data[1]) == 0x8B;
}

bool gunzip(const char* data, size_t size, uint64_t limit, std::string& out, std::string& error,
            bool stopAtLimit) {
    out.clear();
    std::unique_ptr<archive, decltype(&archive_read_free)> a(archive_read_new(),
                                                              &archive_read_free);
    if (!a) {
        error = "out of memory";
        return false;
    }
    archive_read_support_filter_gzip(a.get());
    archive_read_support_format_raw(a.get());
    archive_entry* entry = nullptr;
    if (archive_read_open_memory(a.get(), data, size) != ARCHIVE_OK ||
        archive_read_next_header(a.get(), &entry) != ARCHIVE_OK ||
        archive_filter_code(a.get(), 0) != ARCHIVE_FILTER_GZIP) {
        error = "not a readable gzip file";
        return false;
    }
    char buffer[1 << 16];
    for (;;) {
        const la_ssize_t n = archive_read_data(a.get(), buffer, sizeof buffer);
        if (n == 0) return true;
        if (n < 0) {
            const char* why = archive_error_string(a.get());
            error = std::string("damaged gzip data: ") + (why ? why : "unreadable");
            return false;
        }
        const auto got = static_cast<size_t>(n);
        if (out.size() + got > limit) {
            if (stopAtLimit) {
                out.append(buffer, static_cast<size_t>(limit - out.size()));
                return true;
            }
            error = "inflates to more than " + std::to_string(limit >> 20) +
                    " MB (the limit for a compressed file of this size)";
            return false;
        }
        out.append(buffer, got);
    }
}

}  // namespace imp
