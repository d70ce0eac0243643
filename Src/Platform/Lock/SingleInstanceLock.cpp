#include "SingleInstanceLock.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {
// The held lock; never closed, the kernel releases it with the process.
int HeldLockFd = -1;
} // namespace

std::string InstanceLockPath(const std::string& name) {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && runtime[0] != '\0') {
        std::string dir = runtime;
        if (dir.back() != '/') {
            dir += '/';
        }
        return dir + name + ".lock";
    }
    const char* tmp = std::getenv("TMPDIR");
    std::string dir = (tmp != nullptr && tmp[0] == '/') ? tmp : "/tmp";
    if (dir.back() != '/') {
        dir += '/';
    }
    return dir + name + "-" + std::to_string(getuid()) + ".lock";
}

TInstanceLockResult AcquireInstanceLock(const std::string& name) {
    if (HeldLockFd >= 0) {
        return TInstanceLockResult::Acquired;
    }
    const std::string path = InstanceLockPath(name);
    // O_NOFOLLOW: in a shared temp folder another user could plant a link to a file of ours.
    int fd;
    do {
        fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        return TInstanceLockResult::Unavailable;
    }
    int rc;
    do {
        rc = flock(fd, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        const int err = errno;
        close(fd);
        return err == EWOULDBLOCK ? TInstanceLockResult::HeldByAnother
                                  : TInstanceLockResult::Unavailable;
    }
    HeldLockFd = fd;
    return TInstanceLockResult::Acquired;
}
