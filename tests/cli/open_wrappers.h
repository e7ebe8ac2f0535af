/* The open calls of a preloaded test shim: each passes the path it opens
 * and the descriptor it got to the shim's own watch(path, fd), so that the
 * shim knows which descriptor belongs to the file it is to fail. */
#ifndef TAVRIN_OPEN_WRAPPERS_H
#define TAVRIN_OPEN_WRAPPERS_H

#include <dlfcn.h>
#include <fcntl.h>
#include <stdarg.h>
#include <sys/types.h>

static void watch(const char *path, int fd);

/* One wrapper per open call; each notes the descriptor of the failing file. */
#define OPEN_WRAPPER(name, parameters, ...)                                                                  \
    int name parameters                                                                                      \
    {                                                                                                        \
        typedef int (*real_t)();                                                                             \
        static real_t real;                                                                                  \
        mode_t mode = 0;                                                                                     \
        int fd;                                                                                              \
        if (flags & O_CREAT) {                                                                               \
            va_list args;                                                                                    \
            va_start(args, flags);                                                                           \
            mode = va_arg(args, mode_t);                                                                     \
            va_end(args);                                                                                    \
        }                                                                                                    \
        if (!real)                                                                                           \
            real = (real_t)dlsym(RTLD_NEXT, #name);                                                          \
        fd = real(__VA_ARGS__, flags, mode);                                                                 \
        watch(path, fd);                                                                                     \
        return fd;                                                                                           \
    }

OPEN_WRAPPER(open, (const char *path, int flags, ...), path)
OPEN_WRAPPER(open64, (const char *path, int flags, ...), path)
OPEN_WRAPPER(openat, (int dir, const char *path, int flags, ...), dir, path)
OPEN_WRAPPER(openat64, (int dir, const char *path, int flags, ...), dir, path)

#endif
