#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

namespace clipmoor {

// A fixed set of threads that run submitted jobs. The pools live for the whole process.
class WorkerPool {
public:
    // Runs the serial callback queues of the transfer layer.
    static WorkerPool& callbackPool();
    // Starts the operations of operation queues.
    static WorkerPool& operationPool();

    void submit(std::function<void()> job);

private:
    explicit WorkerPool(int threadCount);
    void run();

    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<std::function<void()>> jobs_;
};

}  // namespace clipmoor
