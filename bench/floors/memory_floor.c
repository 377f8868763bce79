/* What the memory itself allows: reads both files whole into memory, then times one memcmp of
 * the two resident copies on one thread, and the same split between two threads. No way of
 * reading a file can compare it faster than its resident copy is compared, so the one-thread
 * time bounds any single-threaded comparer on this machine.
 * Prints "one-thread SECONDS" and "two-thread SECONDS". Exit status 0, or 2 on error.
 * Usage: memory_floor FIRST SECOND */
#include <fcntl.h>
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

struct Half {
    const char* first;
    const char* second;
    size_t length;
    int differ;
};

static double Now(void) {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (double)now.tv_sec + (double)now.tv_nsec * 1e-9;
}

static char* ReadWhole(const char* path, size_t* size) {
    struct stat info;
    const int fd = open(path, O_RDONLY);
    if (fd < 0 || fstat(fd, &info) != 0) {
        return NULL;
    }
    *size = (size_t)info.st_size;
    char* data = malloc(*size + 1);
    size_t got = 0;
    while (data != NULL && got < *size) {
        const ssize_t n = read(fd, data + got, *size - got);
        if (n <= 0) {
            free(data);
            data = NULL;
            break;
        }
        got += (size_t)n;
    }
    close(fd);
    return data;
}

static void* CompareHalf(void* argument) {
    struct Half* half = argument;
    half->differ = memcmp(half->first, half->second, half->length) != 0;
    return NULL;
}

int main(int argc, char** argv) {
    size_t size[2];
    char* data[2];
    if (argc != 3 || (data[0] = ReadWhole(argv[1], &size[0])) == NULL ||
        (data[1] = ReadWhole(argv[2], &size[1])) == NULL) {
        return 2;
    }
    const size_t both = size[0] < size[1] ? size[0] : size[1];

    double start = Now();
    struct Half whole = {data[0], data[1], both, 0};
    CompareHalf(&whole);
    const double one = Now() - start;

    const size_t split = both / 2;
    struct Half halves[2] = {{data[0], data[1], split, 0},
                             {data[0] + split, data[1] + split, both - split, 0}};
    pthread_t helper;
    start = Now();
    if (pthread_create(&helper, NULL, CompareHalf, &halves[1]) != 0) {
        return 2;
    }
    CompareHalf(&halves[0]);
    pthread_join(helper, NULL);
    const double two = Now() - start;

    if (whole.differ != (halves[0].differ || halves[1].differ)) {
        return 2;
    }
    printf("one-thread %.6f\ntwo-thread %.6f\n", one, two);
    return 0;
}
