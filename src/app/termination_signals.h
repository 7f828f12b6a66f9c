#pragma once

#include <QObject>

#include <initializer_list>
#include <vector>

class QSocketNotifier;

namespace clipmoor {

// Turns termination signals (SIGTERM, SIGINT, SIGHUP) into a Qt signal on the main thread. The
// signal handler only writes the signal's number into a pipe; the main loop reads it, so the
// work done for the signal runs as ordinary code. One instance per process.
class TerminationSignals : public QObject {
    Q_OBJECT

public:
    explicit TerminationSignals(std::initializer_list<int> signalNumbers,
                                QObject* parent = nullptr);
    ~TerminationSignals() override;

    bool isInstalled() const { return notifier_ != nullptr; }

signals:
    void signalReceived(int signalNumber);

private:
    void readSignals();

    QSocketNotifier* notifier_ = nullptr;
    std::vector<int> signalNumbers_;
};

}  // namespace clipmoor
