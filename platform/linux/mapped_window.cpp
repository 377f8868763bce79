#include "platform/mapped_window.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

namespace tandrel {

MappingSeam& TestMappingSeam() {
    static MappingSeam seam;
    return seam;
}

bool MappedWindow::Map(const InputFile& file, uint64_t offset, size_t size) {
    Unmap();
    if (size == 0) {
        return true;
    }
    const MappingSeam& seam = TestMappingSeam();
    const auto fd = static_cast<int>(file.handle_);
    struct stat info;
    if (file.handle_ == InputFile::kNoHandle ||
        (seam.allowMap != nullptr && !seam.allowMap(offset)) || ::fstat(fd, &info) != 0) {
        return false;
    }
    // A window that is the whole file is read once, whole: no advice helps it.
    bool wholeFile = false;
    if (S_ISREG(info.st_mode)) {
        // A file cut shorter since it was sized is mapped only as far as it still reaches, just
        // as a read would end there.
        const auto now = static_cast<uint64_t>(info.st_size);
        size = offset < now ? static_cast<size_t>(std::min<uint64_t>(size, now - offset)) : 0;
        if (size == 0) {
            return true;
        }
        wholeFile = offset == 0 && size == now;
    }
    // Mappings start on a page: a window at any other offset maps from the page that holds it.
    const auto page = static_cast<uint64_t>(::sysconf(_SC_PAGESIZE));
    const auto lead = static_cast<size_t>(offset % page);
    void* view =
        ::mmap(nullptr, lead + size, PROT_READ, MAP_SHARED, fd, static_cast<off_t>(offset - lead));
    if (view == MAP_FAILED) {
        return false;
    }
    if (!wholeFile) {
        ::madvise(view, lead + size, MADV_SEQUENTIAL);
    }
    data_ = static_cast<const uint8_t*>(view) + lead;
    size_ = size;
    offset_ = offset;
    lead_ = lead;
    if (seam.windowMapped != nullptr) {
        seam.windowMapped(offset);
    }
    return true;
}

void MappedWindow::Unmap() {
    if (data_ != nullptr) {
        ::munmap(const_cast<uint8_t*>(data_ - lead_), lead_ + size_);
        data_ = nullptr;
        size_ = 0;
    }
}

bool MappedWindow::IsBacked(const InputFile& file) const {
    uint64_t now = 0;
    return data_ == nullptr || (file.CurrentSize(now) && now >= offset_ + size_);
}

void MappedWindow::Release(size_t begin, size_t end) {
    // Whole pages only, counted from the mapping's start.
    const auto page = static_cast<size_t>(::sysconf(_SC_PAGESIZE));
    begin = (lead_ + begin + page - 1) / page * page;
    end = (lead_ + std::min(end, size_)) / page * page;
    if (data_ != nullptr && begin < end) {
        ::madvise(const_cast<uint8_t*>(data_ - lead_) + begin, end - begin, MADV_DONTNEED);
    }
}

void MappedWindow::Prefetch(const InputFile& file, uint64_t offset, size_t size) {
    if (file.handle_ != InputFile::kNoHandle && size > 0) {
        ::posix_fadvise(static_cast<int>(file.handle_), static_cast<off_t>(offset),
                        static_cast<off_t>(size), POSIX_FADV_WILLNEED);
    }
}

}  // namespace tandrel
