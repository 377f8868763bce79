// A file descriptor that is closed when its holder goes.
#pragma once

#include <unistd.h>

#include <utility>

namespace tandrel {

class UniqueFd {
  public:
    explicit UniqueFd(int fd = -1) : fd_(fd) {}
    UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        std::swap(fd_, other.fd_);
        return *this;
    }
    ~UniqueFd() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }

    int Get() const { return fd_; }
    bool Valid() const { return fd_ >= 0; }

  private:
    int fd_;
};

}  // namespace tandrel
