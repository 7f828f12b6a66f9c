#pragma once

#include <QtGlobal>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace clipmoor {

// A unit of work for an OperationQueue. Asynchronous operations keep their queue slot from
// `start` until they announce that they are finished.
class Operation : public std::enable_shared_from_this<Operation> {
public:
    // Receives each announced change of "isExecuting" or "isFinished": once before the
    // change (`prior` true) and once after it.
    using ChangeObserver = std::function<void(Operation&, const char* key, bool prior)>;

    virtual ~Operation() = default;

    virtual void start() = 0;
    virtual bool isAsynchronous() const { return false; }
    virtual bool isExecuting() const = 0;
    virtual bool isFinished() const = 0;
    bool isCancelled() const { return cancelled_.load(); }
    virtual void cancel() { cancelled_.store(true); }

    quint64 addChangeObserver(ChangeObserver observer);
    void removeChangeObserver(quint64 token);

protected:
    // Announce a change around the assignment, on the thread that makes it.
    void willChangeValueForKey(const char* key);
    void didChangeValueForKey(const char* key);

private:
    void notify(const char* key, bool prior);

    std::atomic<bool> cancelled_{false};
    std::mutex observersMutex_;
    std::vector<std::pair<quint64, std::shared_ptr<ChangeObserver>>> observers_;
    quint64 nextToken_ = 1;
};

}  // namespace clipmoor
