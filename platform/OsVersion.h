#pragma once
// Which operating system line and version the program runs on, for the
// checks that enable features of newer Windows releases.

namespace platform {

struct OsVersion {
    bool ntLine = false;  // the Windows NT line; never on Linux
    int major = 0;
    int minor = 0;
};

// On Linux: not the NT line, with the kernel's major and minor version.
OsVersion osVersion();

}  // namespace platform
