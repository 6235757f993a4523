#include "ReplaceFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

bool replaceFileWith(const std::string& path, std::string_view bytes, std::string* why) {
    // Beside the target, so that the rename stays on one file system and is atomic.
    std::string staged = path + ".XXXXXX";
    const int fd = ::mkstemp(staged.data());
    auto fail = [&](int error) {
        if (why) *why = std::strerror(error);
        return false;
    };
    if (fd < 0) return fail(errno);
    struct stat old {};
    mode_t mode;
    if (::stat(path.c_str(), &old) == 0) {
        mode = old.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    int error = ::fchmod(fd, mode) == 0 ? 0 : errno;
    for (size_t done = 0; !error && done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) error = n < 0 ? errno : EIO;
        else done += static_cast<size_t>(n);
    }
    if (!error && ::fsync(fd) != 0) error = errno;
    if (::close(fd) != 0 && !error) error = errno;
    if (!error && std::rename(staged.c_str(), path.c_str()) != 0) error = errno;
    if (error) {
        ::unlink(staged.c_str());
        return fail(error);
    }
    return true;
}
