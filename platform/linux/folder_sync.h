// Makes a name just made or renamed in a folder durable.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <string>

namespace tandrel {

// A file system that cannot sync a folder still has the name: nothing to report.
inline void SyncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

}  // namespace tandrel
