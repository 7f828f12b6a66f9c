#include "platform/main_queue.h"

#include <QCoreApplication>
#include <QThread>

namespace clipmoor {

void dispatchToMain(std::function<void()> work) {
    QCoreApplication* app = QCoreApplication::instance();
    // Without an application (the process is ending) there is no main queue to run it on.
    if (!app) return;
    QMetaObject::invokeMethod(app, std::move(work), Qt::QueuedConnection);
}

void dispatchToMain(const QObject* guard, std::function<void()> work) {
    Q_ASSERT(guard);
    Q_ASSERT_X(guard->thread() == QCoreApplication::instance()->thread(), "dispatchToMain",
               "the guard must live on the main thread");
    QMetaObject::invokeMethod(const_cast<QObject*>(guard), std::move(work), Qt::QueuedConnection);
}

bool isMainThread() {
    QCoreApplication* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

}  // namespace clipmoor
