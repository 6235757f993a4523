// A whole file in memory: mapped when the system allows it (under a MappingGuard, so that a
// file shortened by another program while it is read gives a failed reading, not a signal),
// read into a buffer otherwise. The one way every reader takes a file in.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "MappingGuard.h"

class MappedFile {
public:
    MappedFile() = default;
    ~MappedFile();
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    // Empty on success, else why the file could not be taken in ("cannot open: ...", "is a
    // directory", "not a regular file", ...). Only regular files: a directory has no bytes,
    // and a device or a pipe might never end (nor is a FIFO waited on for a writer).
    std::string load(const std::string& path);

    const char* data() const { return reinterpret_cast<const char*>(m_data); }
    const unsigned char* bytes() const { return m_data; }
    size_t size() const { return m_size; }

    // Null unless the file is mapped.
    const MappingGuard* guard() const { return m_guard.get(); }
    // Another program shortened the file while it was mapped: the bytes from changedAt() on
    // read as zeros, not as the file.
    bool changed() const { return m_guard && m_guard->changed(); }
    size_t changedAt() const { return m_guard ? m_guard->changedAt() : 0; }

    // Maps the pages of bytes [from, to) at once rather than one fault at a time while they
    // are read. Each thread of a reading does it for the part it reads.
    void populate(size_t from, size_t to) const;
    // Gives the pages of bytes [from, to) of a mapped file back to the system once they have
    // been read (those wholly inside): they still read as the file, read from it again, if
    // they are needed after all. Nothing for a file read into a buffer.
    void release(size_t from = 0, size_t to = SIZE_MAX) const;

private:
    std::string loadFrom(int fd);

    void* m_mapped = nullptr;
    std::unique_ptr<MappingGuard> m_guard;
    unsigned char* m_buffer = nullptr;
    const unsigned char* m_data = reinterpret_cast<const unsigned char*>("");
    size_t m_size = 0;
};

// Maps the pages of [data, data + size) at once, when they are of a mapped file; nothing for
// other memory.
void populatePages(const char* data, size_t size);
