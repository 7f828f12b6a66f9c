#pragma once

#include <QObject>

namespace clipmoor {

// The desktop session as the program sees it: for now, the computer going to sleep and waking
// up again. One process-wide instance that lives on the main thread.
//
// Many objects may listen (every download record does), so listeners connect to the signals
// directly: a Qt connection costs little to make and to drop.
class Workspace : public QObject {
    Q_OBJECT

public:
    static Workspace& sharedWorkspace();

    // Listens to the login manager's PrepareForSleep signal on the system bus: willSleep() when
    // the computer is about to sleep, didWake() when it is back. Without a system bus this
    // returns false quietly (one log line) and may be called again later; once listening,
    // further calls do nothing and return true. A login manager that is missing or appears
    // later is no error: its signals are heard whenever it sends them. Main thread.
    bool startObservingSystemSleep();
    bool isObservingSystemSleep() const { return observing_; }

signals:
    void willSleep();
    void didWake();

private slots:
    void handlePrepareForSleep(bool sleeping);

private:
    Workspace() = default;

    bool observing_ = false;
    bool reportedMissingBus_ = false;
};

}  // namespace clipmoor
