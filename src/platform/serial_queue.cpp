#include "platform/serial_queue.h"

#include "platform/worker_pool.h"

namespace clipmoor {

namespace {

thread_local const SerialQueue* currentQueue = nullptr;

}  // namespace

std::shared_ptr<SerialQueue> SerialQueue::create(QString label) {
    return std::shared_ptr<SerialQueue>(new SerialQueue(std::move(label)));
}

void SerialQueue::async(std::function<void()> work) {
    bool schedule = false;
    {
        std::lock_guard lock(mutex_);
        items_.push_back(std::move(work));
        schedule = !std::exchange(scheduled_, true);
    }
    if (schedule) WorkerPool::callbackPool().submit([self = shared_from_this()] { self->drain(); });
}

bool SerialQueue::isCurrent() const {
    return currentQueue == this;
}

void SerialQueue::drain() {
    // Run a bounded batch, then hand the thread back so one busy queue cannot starve others.
    for (int ran = 0; ran < 64; ++ran) {
        std::function<void()> work;
        {
            std::lock_guard lock(mutex_);
            if (items_.empty()) {
                scheduled_ = false;
                return;
            }
            work = std::move(items_.front());
            items_.pop_front();
        }
        currentQueue = this;
        work();
        currentQueue = nullptr;
    }
    WorkerPool::callbackPool().submit([self = shared_from_this()] { self->drain(); });
}

}  // namespace clipmoor
