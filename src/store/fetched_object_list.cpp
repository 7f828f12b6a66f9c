#include "store/fetched_object_list.h"

#include <algorithm>

namespace clipmoor {

FetchedObjectList::FetchedObjectList(ObjectList objects) : objects_(std::move(objects)) {
    entries_.reserve(objects_.size());
    for (std::size_t i = 0; i < objects_.size(); ++i) add(objects_[i].get(), i);
}

std::optional<std::size_t> FetchedObjectList::indexOf(const ManagedObject* object) const {
    const auto entry = entries_.find(object);
    if (entry == entries_.end() || objects_.empty()) return std::nullopt;
    const auto matches = [&](std::size_t i) { return objects_[i].get() == object; };
    std::optional<std::size_t> found;
    if (entry->second.count > 1) {
        // Only the first occurrence will do, so the hint is no help.
        found = static_cast<std::size_t>(
            std::find_if(objects_.begin(), objects_.end(),
                         [&](const auto& element) { return element.get() == object; }) -
            objects_.begin());
    } else {
        // Outward from the hint: at distance d, the slots before and after it.
        const std::size_t size = objects_.size();
        const std::size_t hint = std::min(entry->second.hint, size - 1);
        for (std::size_t d = 0; !found && (d <= hint || hint + d < size); ++d) {
            if (d <= hint && matches(hint - d))
                found = hint - d;
            else if (d > 0 && hint + d < size && matches(hint + d))
                found = hint + d;
        }
    }
    if (found) entry->second.hint = *found;  // a listed record is always found
    return found;
}

void FetchedObjectList::insert(std::size_t index, std::shared_ptr<ManagedObject> object) {
    index = std::min(index, objects_.size());
    add(object.get(), index);
    objects_.insert(objects_.begin() + static_cast<std::ptrdiff_t>(index), std::move(object));
}

void FetchedObjectList::remove(std::size_t index) {
    if (index >= objects_.size()) return;
    drop(objects_[index].get());
    objects_.erase(objects_.begin() + static_cast<std::ptrdiff_t>(index));
}

void FetchedObjectList::replace(std::size_t index, std::shared_ptr<ManagedObject> object) {
    if (index >= objects_.size()) return;
    drop(objects_[index].get());
    add(object.get(), index);
    objects_[index] = std::move(object);
}

void FetchedObjectList::add(const ManagedObject* object, std::size_t index) {
    Entry& entry = entries_[object];
    ++entry.count;
    entry.hint = index;
}

void FetchedObjectList::drop(const ManagedObject* object) {
    const auto entry = entries_.find(object);
    if (entry != entries_.end() && --entry->second.count == 0) entries_.erase(entry);
}

}  // namespace clipmoor
