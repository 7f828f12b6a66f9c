#pragma once

#include <QObject>

#include <functional>

namespace clipmoor {

// Runs `work` on the main thread's event loop, after the current event has been handled.
// Safe from any thread. Without a QCoreApplication (the process is ending) the work is dropped.
void dispatchToMain(std::function<void()> work);

// As above, but the work is dropped if `guard` is destroyed before it runs: the queued call
// belongs to `guard`, so it never reaches an object that is gone.
void dispatchToMain(const QObject* guard, std::function<void()> work);

bool isMainThread();

}  // namespace clipmoor
