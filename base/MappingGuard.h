// Reading a mapped file that another program shortens under us.
//
// A read from a page of a file mapping that lies past the file's new end raises SIGBUS,
// which would end the process. While a MappingGuard is alive, a SIGBUS whose address lies in
// its range is taken instead: zero pages are mapped over the rest of the range, the guard
// remembers where the first fault was, and the read goes on over zeros; the reader then
// reports the file as changed rather than trusting what it made of them. A SIGBUS anywhere
// else goes to whatever handled it before (by default it still ends the process).
#pragma once

#include <cstddef>

class MappingGuard {
public:
    // `data` must be the page-aligned start of a mapping of `size` bytes.
    MappingGuard(const void* data, size_t size);
    ~MappingGuard();
    MappingGuard(const MappingGuard&) = delete;
    MappingGuard& operator=(const MappingGuard&) = delete;

    // False when no guard could be set up (too many guarded mappings at once, or the
    // handler could not be installed): the caller must then not read the mapping.
    bool active() const { return m_slot >= 0; }
    // True once a read in the range faulted; offset from `data` of the faulting page.
    bool changed() const;
    size_t changedAt() const;

private:
    int m_slot = -1;
};
