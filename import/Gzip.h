// Files published gzip-compressed (taxonomy tables as .tsv.gz), inflated in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace imp {

// The bytes starting with gzip's signature.
bool looksLikeGzip(const char* data, size_t size);

// Inflates the gzip stream at `data` into `out`, at most `limit` bytes: past it, false with
// `error` saying so, unless `stopAtLimit` asks only for the first bytes (to tell a file's
// kind). False with `error` set when the stream is damaged.
bool gunzip(const char* data, size_t size, uint64_t limit, std::string& out, std::string& error,
            bool stopAtLimit = false);

}  // namespace imp
