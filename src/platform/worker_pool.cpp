#include "platform/worker_pool.h"

#include <thread>

namespace clipmoor {

WorkerPool& WorkerPool::callbackPool() {
    static WorkerPool* pool = new WorkerPool(8);  // never destroyed: threads may still run at exit
    return *pool;
}

WorkerPool& WorkerPool::operationPool() {
    static WorkerPool* pool = new WorkerPool(2);
    return *pool;
}

WorkerPool::WorkerPool(int threadCount) {
    for (int i = 0; i < threadCount; ++i) std::thread([this] { run(); }).detach();
}

void WorkerPool::submit(std::function<void()> job) {
    {
        std::lock_guard lock(mutex_);
        jobs_.push_back(std::move(job));
    }
    ready_.notify_one();
}

void WorkerPool::run() {
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

}  // namespace clipmoor
