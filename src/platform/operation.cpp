#include "platform/operation.h"

namespace clipmoor {

quint64 Operation::addChangeObserver(ChangeObserver observer) {
    std::lock_guard lock(observersMutex_);
    const quint64 token = nextToken_++;
    observers_.emplace_back(token, std::make_shared<ChangeObserver>(std::move(observer)));
    return token;
}

void Operation::removeChangeObserver(quint64 token) {
    std::lock_guard lock(observersMutex_);
    std::erase_if(observers_, [token](const auto& entry) { return entry.first == token; });
}

void Operation::willChangeValueForKey(const char* key) {
    notify(key, true);
}
void Operation::didChangeValueForKey(const char* key) {
    notify(key, false);
}

void Operation::notify(const char* key, bool prior) {
    // Observers run without the lock held: they may add or remove observers themselves.
    std::vector<std::shared_ptr<ChangeObserver>> observers;
    {
        std::lock_guard lock(observersMutex_);
        for (const auto& entry : observers_) observers.push_back(entry.second);
    }
    for (const auto& observer : observers) (*observer)(*this, key, prior);
}

}  // namespace clipmoor
