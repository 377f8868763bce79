/* The floor of comparing in place: maps the same 16 MiB windows of both files as the program
 * does, memcmps them, and unmaps them. Exit status 0 when equal, 1 when they differ, 2 on error.
 * Usage: mapped_floor FIRST SECOND */
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#define WINDOW (16 << 20)

int main(int argc, char** argv) {
    if (argc != 3) {
        return 2;
    }
    int fd[2];
    off_t size[2];
    for (int k = 0; k < 2; ++k) {
        struct stat info;
        fd[k] = open(argv[k + 1], O_RDONLY);
        if (fd[k] < 0 || fstat(fd[k], &info) != 0) {
            return 2;
        }
        size[k] = info.st_size;
    }
    const off_t both = size[0] < size[1] ? size[0] : size[1];
    int differ = size[0] != size[1];
    for (off_t at = 0; at < both && !differ; at += WINDOW) {
        const size_t length = both - at < WINDOW ? (size_t)(both - at) : WINDOW;
        void* view[2];
        for (int k = 0; k < 2; ++k) {
            view[k] = mmap(NULL, length, PROT_READ, MAP_SHARED, fd[k], at);
            if (view[k] == MAP_FAILED) {
                return 2;
            }
            madvise(view[k], length, MADV_SEQUENTIAL);
            if (at + WINDOW < both) {
                posix_fadvise(fd[k], at + WINDOW, WINDOW, POSIX_FADV_WILLNEED);
            }
        }
        differ = memcmp(view[0], view[1], length) != 0;
        munmap(view[0], length);
        munmap(view[1], length);
    }
    return differ;
}
