#pragma once

#include <memory>
#include <unordered_set>
#include <vector>

#include "platform/object_store/managed_object.h"

namespace clipmoor {

// A set of records that remembers the order in which they were added.
class OrderedObjectSet {
public:
    bool contains(const ManagedObject* object) const { return members_.count(object) != 0; }
    bool empty() const { return order_.empty(); }
    std::size_t size() const { return order_.size(); }

    void insert(const std::shared_ptr<ManagedObject>& object) {
        if (object && members_.insert(object.get()).second) order_.push_back(object);
    }
    void erase(const ManagedObject* object) {
        if (members_.erase(object) == 0) return;
        std::erase_if(order_, [object](const auto& o) { return o.get() == object; });
    }
    // Also gives the storage back: a set that once held many records would otherwise keep a
    // large bucket array, and clearing that would cost its full size every time.
    void clear() {
        members_ = decltype(members_)();
        order_ = decltype(order_)();
    }

    const std::vector<std::shared_ptr<ManagedObject>>& items() const { return order_; }
    ManagedObjectSet toList() const { return ManagedObjectSet(order_.begin(), order_.end()); }

private:
    std::unordered_set<const ManagedObject*> members_;
    std::vector<std::shared_ptr<ManagedObject>> order_;
};

}  // namespace clipmoor
