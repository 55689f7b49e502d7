#pragma once
// How long a test waits, in milliseconds, for what must come (a process to
// end, a condition to hold) before it calls it a hang. It guards against a
// hang and times nothing: a sanitizer build on a machine with three times as
// many busy processes as cores stays well within it. Speed is measured in
// bench/.

inline constexpr int kHangGuard = 5 * 60 * 1000;
