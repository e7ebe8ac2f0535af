/* Preloaded into tavrin-cli by the tests: writing to a file whose path holds
 * $TAVRIN_FAIL_WRITE fails with the errno $TAVRIN_FAIL_ERRNO, in write() or,
 * when $TAVRIN_FAIL_IN is "fsync", only when the bytes are flushed to the
 * disk, as a full disk or a network share may tell. With $TAVRIN_FAIL_AFTER,
 * the file first takes that many bytes, the last write in part, as a disk
 * that fills up does. */
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

static void watch(const char *path, int fd)
{
    const char *part = getenv("TAVRIN_FAIL_WRITE");
    if (fd >= 0 && part && path && strstr(path, part))
        failing_fd = fd;
}

static int fails_in(const char *call)
{
    const char *in = getenv("TAVRIN_FAIL_IN");
    return strcmp(in ? in : "write", call) == 0;
}

static int failure(void)
{
    errno = atoi(getenv("TAVRIN_FAIL_ERRNO"));
    return -1;
}

#include "open_wrappers.h"

ssize_t write(int fd, const void *buffer, size_t count)
{
    typedef ssize_t (*real_t)(int, const void *, size_t);
    static real_t real;
    if (!real)
        real = (real_t)dlsym(RTLD_NEXT, "write");
    if (fd == failing_fd && fails_in("write")) {
        static long long room = -1;
        const char *after = getenv("TAVRIN_FAIL_AFTER");
        if (room < 0)
            room = after ? atoll(after) : 0;
        if (room == 0)
            return failure();
        if ((size_t)room < count)
            count = (size_t)room;
        room -= (long long)count;
    }
    return real(fd, buffer, count);
}

int fsync(int fd)
{
    typedef int (*real_t)(int);
    static real_t real;
    if (!real)
        real = (real_t)dlsym(RTLD_NEXT, "fsync");
    if (fd == failing_fd && fails_in("fsync"))
        return failure();
    return real(fd);
}
