#include "base/unique_fd.h"

#include <unistd.h>

namespace base {

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
    if (this != &other)
        reset(other.release());
    return *this;
}

int UniqueFd::release() noexcept {
    const int fd = fd_;
    fd_ = -1;
    return fd;
}

void UniqueFd::reset(int fd) noexcept {
    // close() is not retried on EINTR: on Linux the descriptor is gone either way.
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = fd;
}

} // namespace base
