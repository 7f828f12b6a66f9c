#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "platform/operation.h"

namespace clipmoor {

// Runs operations with at most `maxConcurrentOperationCount` of them started and unfinished at
// once. The queue holds each operation from `addOperation` until it announces it is finished,
// and starts operations on worker threads, in the order they were added.
class OperationQueue {
public:
    OperationQueue();
    ~OperationQueue();
    OperationQueue(const OperationQueue&) = delete;
    OperationQueue& operator=(const OperationQueue&) = delete;

    void setMaxConcurrentOperationCount(int count);
    int maxConcurrentOperationCount() const;

    void addOperation(std::shared_ptr<Operation> operation);

    // Every operation the queue holds: waiting, or started and not finished.
    std::vector<std::shared_ptr<Operation>> operations() const;
    std::size_t operationCount() const;
    // Operations that hold a slot: started and not yet finished.
    std::size_t slotsInUse() const;

private:
    struct State;
    std::shared_ptr<State> state_;
};

}  // namespace clipmoor
