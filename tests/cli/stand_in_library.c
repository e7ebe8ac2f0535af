/* Copied into a test's working folder under the names of the system's
 * libraries: a program that loads it from there says so and ends at once,
 * before it can do anything in the real library's place. */
#include <unistd.h>

__attribute__((constructor)) static void announce(void)
{
    static const char message[] = "loaded a library from the working folder\n";
    write(2, message, sizeof message - 1);
    _exit(99);
}
