/* Preloaded into tavrin-cli by the tests: reading the file whose path ends
 * with $TAVRIN_FAIL_PATH fails with EIO once $TAVRIN_FAIL_AFTER bytes of it
 * have been read, as a failing disk or a dropped network share would. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdlib.h>
#include <string.h>
#include <sys/types.h>
#include <unistd.h>

static int failing_fd = -1;
static long long bytes_read = 0;

static void watch(const char *path, int fd)
{
    const char *suffix = getenv("TAVRIN_FAIL_PATH");
    size_t n, m;
    if (fd < 0 || !suffix || !path)
        return;
    n = strlen(path);
    m = strlen(suffix);
    if (n >= m && strcmp(path + n - m, suffix) == 0) {
        failing_fd = fd;
        bytes_read = 0;
    }
}

#include "open_wrappers.h"

/* Shortens a read of count bytes at position at of the failing file so that
 * it stops at $TAVRIN_FAIL_AFTER; 0, with errno EIO, once it starts there. */
static int allowed(long long at, size_t *count)
{
    const long long after = atoll(getenv("TAVRIN_FAIL_AFTER"));
    if (at >= after) {
        errno = EIO;
        return 0;
    }
    if ((long long)*count > after - at)
        *count = (size_t)(after - at);
    return 1;
}

ssize_t read(int fd, void *buffer, size_t count)
{
    typedef ssize_t (*real_t)(int, void *, size_t);
    static real_t real;
    ssize_t got;
    if (!real)
        real = (real_t)dlsym(RTLD_NEXT, "read");
    if (fd == failing_fd && !allowed(bytes_read, &count))
        return -1;
    got = real(fd, buffer, count);
    if (fd == failing_fd && got > 0)
        bytes_read += got;
    return got;
}

/* A file read in parts at given offsets fails from the same byte on, from
 * whichever thread reads there. */
ssize_t pread64(int fd, void *buffer, size_t count, off_t offset)
{
    typedef ssize_t (*real_t)(int, void *, size_t, off_t);
    static real_t real;
    if (!real)
        real = (real_t)dlsym(RTLD_NEXT, "pread64");
    if (fd == failing_fd && !allowed((long long)offset, &count))
        return -1;
    return real(fd, buffer, count, offset);
}

ssize_t pread(int fd, void *buffer, size_t count, off_t offset)
{
    return pread64(fd, buffer, count, offset);
}
