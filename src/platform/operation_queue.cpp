#include "platform/operation_queue.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <mutex>

#include "platform/worker_pool.h"

namespace clipmoor {

struct OperationQueue::State : std::enable_shared_from_this<OperationQueue::State> {
    struct Entry {
        std::shared_ptr<Operation> operation;
        quint64 observerToken = 0;
    };

    mutable std::mutex mutex;
    int maxConcurrent = 1;
    std::deque<Entry> waiting;
    std::vector<Entry> started;

    void add(std::shared_ptr<Operation> operation) {
        std::weak_ptr<State> weakState = weak_from_this();
        std::weak_ptr<Operation> weakOperation = operation;
        const quint64 token = operation->addChangeObserver(
            [weakState, weakOperation](Operation&, const char* key, bool prior) {
                if (prior || std::strcmp(key, "isFinished") != 0) return;
                auto state = weakState.lock();
                auto finished = weakOperation.lock();
                if (state && finished && finished->isFinished()) state->retire(finished);
            });
        {
            std::lock_guard lock(mutex);
            waiting.push_back({std::move(operation), token});
        }
        startWaiting();
    }

    void retire(const std::shared_ptr<Operation>& operation) {
        Entry retired;
        {
            std::lock_guard lock(mutex);
            auto matches = [&](const Entry& e) { return e.operation == operation; };
            if (auto it = std::find_if(started.begin(), started.end(), matches);
                it != started.end()) {
                retired = std::move(*it);
                started.erase(it);
            } else if (auto w = std::find_if(waiting.begin(), waiting.end(), matches);
                       w != waiting.end()) {
                retired = std::move(*w);  // finished before it was started
                waiting.erase(w);
            } else {
                return;
            }
        }
        retired.operation->removeChangeObserver(retired.observerToken);
        startWaiting();
    }

    void startWaiting() {
        std::vector<std::shared_ptr<Operation>> toStart;
        {
            std::lock_guard lock(mutex);
            while (!waiting.empty() && static_cast<int>(started.size()) < maxConcurrent) {
                started.push_back(std::move(waiting.front()));
                waiting.pop_front();
                toStart.push_back(started.back().operation);
            }
        }
        for (auto& operation : toStart) {
            WorkerPool::operationPool().submit([weakState = weak_from_this(), operation] {
                operation->start();
                // A synchronous operation is done when start returns.
                if (!operation->isAsynchronous())
                    if (auto state = weakState.lock()) state->retire(operation);
            });
        }
    }
};

OperationQueue::OperationQueue() : state_(std::make_shared<State>()) {}

OperationQueue::~OperationQueue() = default;

void OperationQueue::setMaxConcurrentOperationCount(int count) {
    {
        std::lock_guard lock(state_->mutex);
        state_->maxConcurrent = std::max(1, count);
    }
    state_->startWaiting();
}

int OperationQueue::maxConcurrentOperationCount() const {
    std::lock_guard lock(state_->mutex);
    return state_->maxConcurrent;
}

void OperationQueue::addOperation(std::shared_ptr<Operation> operation) {
    if (operation) state_->add(std::move(operation));
}

std::vector<std::shared_ptr<Operation>> OperationQueue::operations() const {
    std::lock_guard lock(state_->mutex);
    std::vector<std::shared_ptr<Operation>> all;
    for (const auto& entry : state_->started) all.push_back(entry.operation);
    for (const auto& entry : state_->waiting) all.push_back(entry.operation);
    return all;
}

std::size_t OperationQueue::operationCount() const {
    std::lock_guard lock(state_->mutex);
    return state_->started.size() + state_->waiting.size();
}

std::size_t OperationQueue::slotsInUse() const {
    std::lock_guard lock(state_->mutex);
    return state_->started.size();
}

}  // namespace clipmoor
