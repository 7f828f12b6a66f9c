#include "platform/serial_queue.h"

#include <condition_variable>
#include <thread>
#include <vector>

namespace clipmoor {

namespace {

thread_local const SerialQueue* currentQueue = nullptr;

// A fixed set of worker threads that run queue drains. Created on first use and kept for the
// life of the process.
class CallbackPool {
public:
    static CallbackPool& shared() {
        static CallbackPool* pool = new CallbackPool(8);
        return *pool;
    }

    void submit(std::function<void()> job) {
        {
            std::lock_guard lock(mutex_);
            jobs_.push_back(std::move(job));
        }
        ready_.notify_one();
    }

private:
    explicit CallbackPool(int threadCount) {
        for (int i = 0; i < threadCount; ++i) std::thread([this] { run(); }).detach();
    }

    void run() {
        for (;;) {
            std::function<void()> job;
            {
                std::unique_lock lock(mutex_);
                ready_.wait(lock, [this] { return !jobs_.empty(); });
                job = std::move(jobs_.front());
                jobs_.pop_front();
            }
            job();
        }
    }

    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<std::function<void()>> jobs_;
};

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
    if (schedule) CallbackPool::shared().submit([self = shared_from_this()] { self->drain(); });
}

bool SerialQueue::isCurrent() const { return currentQueue == this; }

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
    CallbackPool::shared().submit([self = shared_from_this()] { self->drain(); });
}

}  // namespace clipmoor
