#include "MappedFile.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <system_error>
#include <thread>

namespace {
constexpr size_t kBackgroundUnmap = size_t{64} << 20;
}

MappedFile::~MappedFile() {
    m_guard.reset();  // before the pages go: no fault can come from them any more
    if (m_mapped) {
        // Taking down the page tables of hundreds of megabytes takes as long as reading a
        // tenth of them; nobody needs to wait for it.
        try {
            if (m_size >= kBackgroundUnmap) {
                std::thread([p = m_mapped, n = m_size] { munmap(p, n); }).detach();
                m_mapped = nullptr;
            }
        } catch (const std::system_error&) {  // no thread to be had: do it here
        }
        if (m_mapped) munmap(m_mapped, m_size);
    }
    std::free(m_buffer);
}

std::string MappedFile::load(const std::string& path) {
    // Non-blocking, so that opening a FIFO does not wait for a writer; the check for a
    // regular file then turns it away.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return std::string("cannot open: ") + std::strerror(errno);
    std::string error = loadFrom(fd);
    ::close(fd);  // the mapping, if any, outlives the descriptor
    return error;
}

std::string MappedFile::loadFrom(int fd) {
    struct stat st;
    if (fstat(fd, &st) != 0) return std::string("cannot stat: ") + std::strerror(errno);
    if (S_ISDIR(st.st_mode)) return "is a directory";
    if (!S_ISREG(st.st_mode)) return "not a regular file";
    m_size = static_cast<size_t>(st.st_size);
    if (m_size == 0) return {};
    void* p = mmap(nullptr, m_size, PROT_READ, MAP_PRIVATE, fd, 0);
    if (p != MAP_FAILED) {
        // Another program may shorten the file while we read it; the guard turns the fault
        // that would end the process into a failed reading. Without one the file is read.
        auto guard = std::make_unique<MappingGuard>(p, m_size);
        if (guard->active()) {
            m_guard = std::move(guard);
            m_mapped = p;
            m_data = static_cast<const unsigned char*>(p);
            return {};
        }
        munmap(p, m_size);
    }
    m_buffer = static_cast<unsigned char*>(std::malloc(m_size));
    if (!m_buffer) return "file too large for memory";
    size_t got = 0;
    while (got < m_size) {
        ssize_t n = ::read(fd, m_buffer + got, m_size - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return std::string("read error: ") + std::strerror(errno);
        if (n == 0) break;  // shrank while being read: what is there is read
        got += static_cast<size_t>(n);
    }
    m_size = got;
    m_data = m_buffer;
    return {};
}

void MappedFile::populate(size_t from, size_t to) const {
    if (!m_mapped || from >= to) return;
    populatePages(data() + from, to - from);
}

void MappedFile::release(size_t from, size_t to) const {
    to = std::min(to, m_size);
    if (!m_mapped || from >= to) return;
    const auto page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    const size_t begin = (from + page - 1) / page * page;
    const size_t end = to == m_size ? to : to / page * page;
    // The mapping is private and never written, so the pages dropped are the file's own.
    if (begin < end) madvise(static_cast<char*>(m_mapped) + begin, end - begin, MADV_DONTNEED);
}

void populatePages(const char* data, size_t size) {
#ifdef MADV_POPULATE_READ
    if (size == 0) return;
    auto page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
    uintptr_t begin = reinterpret_cast<uintptr_t>(data) & ~(page - 1);
    uintptr_t end = reinterpret_cast<uintptr_t>(data + size);
    // Refused (EINVAL) for memory that is no file mapping, such as a buffer of the heap.
    madvise(reinterpret_cast<void*>(begin), end - begin, MADV_POPULATE_READ);
#else
    (void)data;
    (void)size;
#endif
}
