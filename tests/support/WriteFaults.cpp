#include "WriteFaults.h"

#include <atomic>
#include <cstdio>
#include <utility>

#include <fcntl.h>

namespace {

std::atomic<int> g_renamesLeft {0};  // 0: no fault armed
std::atomic<int> g_code {0};
std::atomic<bool> g_met {false};
std::atomic<int> g_linkCode {0};  // 0: links work
std::function<void()> g_beforeRename;

}  // namespace

// Every rename of the process passes here; it goes on to the system's
// renameat unless it is the one a RenameFault chose.
extern "C" int rename(const char* From, const char* To) noexcept
{
    if (g_beforeRename)
        g_beforeRename();
    int left = g_renamesLeft.load();
    while (left > 0 && !g_renamesLeft.compare_exchange_weak(left, left - 1)) {}
    if (left == 1) {
        g_met = true;
        errno = g_code;
        return -1;
    }
    return renameat(AT_FDCWD, From, AT_FDCWD, To);
}

extern "C" int link(const char* From, const char* To) noexcept
{
    if (const int code = g_linkCode.load()) {
        errno = code;
        return -1;
    }
    return linkat(AT_FDCWD, From, AT_FDCWD, To, 0);
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

RenameWatch::RenameWatch(std::function<void()> Before) { g_beforeRename = std::move(Before); }

RenameWatch::~RenameWatch() { g_beforeRename = nullptr; }

LinkFault::LinkFault(int Code) { g_linkCode = Code; }

LinkFault::~LinkFault() { g_linkCode = 0; }

}  // namespace fixture
