/* The floor of comparing through read(): 64 KiB read() calls into two buffers and a memcmp of
 * each pair. Exit status 0 when equal, 1 when they differ, 2 on error.
 * Usage: read_floor FIRST SECOND */
#include <fcntl.h>
#include <string.h>
#include <unistd.h>

#define PIECE (64 << 10)

static ssize_t ReadFull(int fd, char* buffer, size_t count) {
    size_t got = 0;
    while (got < count) {
        const ssize_t n = read(fd, buffer + got, count - got);
        if (n < 0) {
            return -1;
        }
        if (n == 0) {
            break;
        }
        got += (size_t)n;
    }
    return (ssize_t)got;
}

int main(int argc, char** argv) {
    static char buffer[2][PIECE];
    if (argc != 3) {
        return 2;
    }
    int fd[2];
    for (int k = 0; k < 2; ++k) {
        fd[k] = open(argv[k + 1], O_RDONLY);
        if (fd[k] < 0) {
            return 2;
        }
        posix_fadvise(fd[k], 0, 0, POSIX_FADV_SEQUENTIAL);
    }
    for (;;) {
        const ssize_t a = ReadFull(fd[0], buffer[0], PIECE);
        const ssize_t b = ReadFull(fd[1], buffer[1], PIECE);
        if (a < 0 || b < 0) {
            return 2;
        }
        if (a != b || memcmp(buffer[0], buffer[1], (size_t)a) != 0) {
            return 1;
        }
        if (a < PIECE) {
            return 0;
        }
    }
}
