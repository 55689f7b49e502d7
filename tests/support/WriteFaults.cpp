#include "WriteFaults.h"

#include <atomic>
#include <cstdio>

#include <fcntl.h>

namespace {

std::atomic<int> g_renamesLeft {0};  // 0: no fault armed
std::atomic<int> g_code {0};
std::atomic<bool> g_met {false};

}  // namespace

// Every rename of the process passes here; it goes on to the system's
// renameat unless it is the one a RenameFault chose.
extern "C" int rename(const char* From, const char* To) noexcept
{
    int left = g_renamesLeft.load();
    while (left > 0 && !g_renamesLeft.compare_exchange_weak(left, left - 1)) {}
    if (left == 1) {
        g_met = true;
        errno = g_code;
        return -1;
    }
    return renameat(AT_FDCWD, From, AT_FDCWD, To);
}

namespace fixture {

RenameFault::RenameFault(int Nth, int Code)
{
    g_code = Code;
    g_met = false;
    g_renamesLeft = Nth;
}

RenameFault::~RenameFault() { g_renamesLeft = 0; }

bool RenameFault::met() const { return g_met; }

}  // namespace fixture
