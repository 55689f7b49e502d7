#pragma once
// The toolkit splits a large image conversion or smooth scaling across its
// global thread pool and waits for every piece. A piece given to a thread
// that could not be made (under an address-space limit) never runs, and the
// wait never ends. The pool therefore gets its one thread at start-up and
// keeps it: later pieces wait for that thread, never for a new one.

namespace platform {

// Makes and keeps the pool's thread; false when it could not be made: no
// large image may then be converted or scaled, and the pool would wait for
// that thread at exit.
bool startImageThread();

}  // namespace platform
