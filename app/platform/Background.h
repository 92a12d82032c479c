// Background work of a document or model: runs a function on the shared worker pool and hands
// its outcome back to the GUI thread, where it is dropped when the owning object has been
// destroyed meanwhile. The work sees only what it captured, never the owner.
#pragma once

#include <QObject>

#include <exception>
#include <functional>

namespace Background {

// Runs `work` on the pool; then, on the GUI thread and only while `owner` still exists, calls
// `done` with what `work` threw (null after success). Call on the GUI thread.
void run(QObject* owner, std::function<void()> work, std::function<void(std::exception_ptr error)> done);

// Waits until every started work has ended (their `done` calls stay queued). For shutdown.
void waitForAll();

} // namespace Background
