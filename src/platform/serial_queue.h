#pragma once

#include <QString>

#include <deque>
#include <functional>
#include <memory>
#include <mutex>

namespace clipmoor {

// Runs work items one at a time, in the order they were queued, on threads of a shared
// callback pool: never on the main thread and never on the transfer engine's thread.
class SerialQueue : public std::enable_shared_from_this<SerialQueue> {
public:
    static std::shared_ptr<SerialQueue> create(QString label);

    void async(std::function<void()> work);
    // True while the calling thread is running an item of this queue.
    bool isCurrent() const;
    const QString& label() const { return label_; }

private:
    explicit SerialQueue(QString label) : label_(std::move(label)) {}
    void drain();

    QString label_;
    std::mutex mutex_;
    std::deque<std::function<void()>> items_;
    bool scheduled_ = false;
};

}  // namespace clipmoor
