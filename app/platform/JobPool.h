// JobPool: the process-wide thread pools of background work, one for user-initiated jobs (edits,
// clipboard conversion, tempo detection) and one at low priority for utility work (loudness
// analyses), and the hand-back of a result to the GUI thread. Work on a pool sees only values
// and shared tokens, never a model: its result reaches the owner on the GUI thread, and is
// dropped when the owner was destroyed meanwhile. A pool lets go of a task's function as soon as
// it has run and gives the memory freed by then back to the system.
#pragma once

#include <QCoreApplication>
#include <QPointer>

#include <exception>
#include <functional>
#include <utility>

class QThreadPool;

namespace JobPool {

// The pool for user-initiated jobs; made on first use (on the GUI thread), owned by the application.
QThreadPool& userInitiated();

// Runs `work` on the user-initiated pool.
void start(std::function<void()> work);

// The pool for utility work, whose threads run at low priority; made on first use (on the GUI
// thread), owned by the application.
QThreadPool& utility();

// Runs `work` on the utility pool.
void startUtility(std::function<void()> work);

// Queues `fn(owner)` on the GUI thread unless `owner` has been destroyed by then. Callable from
// any thread: the owner is only dereferenced on the GUI thread. `fn` must be copyable.
template <typename Owner, typename Fn>
void deliver(QPointer<Owner> owner, Fn fn) {
  QCoreApplication* app = QCoreApplication::instance();
  if (!app) return;  // shutting down
  QMetaObject::invokeMethod(
      app,
      [owner = std::move(owner), fn = std::move(fn)] {
        if (Owner* alive = owner.data()) fn(*alive);
      },
      Qt::QueuedConnection);
}

// Runs `work` on the user-initiated pool, then `done(owner, error)` on the GUI thread with what
// `work` threw (null after success), unless `owner` has been destroyed by then. Call on the
// GUI thread.
template <typename Owner>
void run(Owner* owner, std::function<void()> work, std::function<void(Owner& owner, std::exception_ptr error)> done) {
  start([guard = QPointer<Owner>(owner), work = std::move(work), done = std::move(done)] {
    std::exception_ptr error;
    try {
      work();
    } catch (...) {
      error = std::current_exception();
    }
    deliver(guard, [done, error](Owner& alive) { done(alive, error); });
  });
}

} // namespace JobPool
