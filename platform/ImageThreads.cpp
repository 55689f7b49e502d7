#include "platform/ImageThreads.h"

#include <QSemaphore>
#include <QThreadPool>

#include <memory>

namespace platform {

bool startImageThread()
{
    QThreadPool* pool = QThreadPool::globalInstance();
    pool->setMaxThreadCount(1);
    pool->setExpiryTimeout(-1);
    // A converted or scaled piece needs a few pages of stack: the default,
    // the size of the main thread's, would take address space for nothing.
    pool->setStackSize(256 * 1024);
    // A thread that was not made never runs its task, and nothing else
    // tells: a thread that was made starts in far less than this.
    constexpr int kStartMs = 5000;
    const auto started = std::make_shared<QSemaphore>();
    pool->start([started] { started->release(); });
    return started->tryAcquire(1, kStartMs);
}

}  // namespace platform
