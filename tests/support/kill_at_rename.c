/* Preloaded into the program by the tests: ends the process by SIGKILL at
 * one rename, as a crash or a power cut would end it. KILL_AT_RENAME=N
 * picks the Nth rename of the process (from 1); with KILL_AT_RENAME_AFTER=1
 * the kill comes just after it is made, else just before. Every rename is
 * counted, whichever call makes it. KILL_AT_RENAME_SIGNAL names another
 * signal to send there, one the program may catch; the rename is still made. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <signal.h>
#include <stdatomic.h>
#include <stdlib.h>

static atomic_int renames;

static int chosen(void)
{
    const char* n = getenv("KILL_AT_RENAME");
    return n ? atoi(n) : 0;
}

static int afterwards(void)
{
    const char* after = getenv("KILL_AT_RENAME_AFTER");
    return after && after[0] == '1';
}

static int signalToSend(void)
{
    const char* sig = getenv("KILL_AT_RENAME_SIGNAL");
    return sig ? atoi(sig) : SIGKILL;
}

/* Calls Real between the two points where the chosen rename may end it. */
#define AROUND(call)                                                                                         \
    do {                                                                                                     \
        const int n = atomic_fetch_add(&renames, 1) + 1;                                                     \
        const int here = n == chosen();                                                                      \
        if (here && !afterwards())                                                                           \
            raise(signalToSend());                                                                           \
        const int result = call;                                                                             \
        if (here && afterwards())                                                                            \
            raise(signalToSend());                                                                           \
        return result;                                                                                       \
    } while (0)

int rename(const char* from, const char* to)
{
    static int (*real)(const char*, const char*);
    if (!real)
        real = (int (*)(const char*, const char*))dlsym(RTLD_NEXT, "rename");
    AROUND(real(from, to));
}

int renameat(int fromDir, const char* from, int toDir, const char* to)
{
    static int (*real)(int, const char*, int, const char*);
    if (!real)
        real = (int (*)(int, const char*, int, const char*))dlsym(RTLD_NEXT, "renameat");
    AROUND(real(fromDir, from, toDir, to));
}

int renameat2(int fromDir, const char* from, int toDir, const char* to, unsigned flags)
{
    static int (*real)(int, const char*, int, const char*, unsigned);
    if (!real)
        real = (int (*)(int, const char*, int, const char*, unsigned))dlsym(RTLD_NEXT, "renameat2");
    AROUND(real(fromDir, from, toDir, to, flags));
}
