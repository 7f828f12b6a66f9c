#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

namespace clipmoor {

class ManagedObject;

// The results controller's list: records in order, plus a table of where each record stood
// when it was last placed or found. Whether a record is listed is answered from the table at
// once, and its position is found by looking outward from where it stood last, so the cost of
// a lookup follows how far the record has shifted since then (the number of insertions and
// removals before it), not the length of the list. Main thread only.
class FetchedObjectList {
public:
    using ObjectList = std::vector<std::shared_ptr<ManagedObject>>;

    FetchedObjectList() = default;
    explicit FetchedObjectList(ObjectList objects);

    const ObjectList& objects() const { return objects_; }
    std::size_t size() const { return objects_.size(); }

    bool contains(const ManagedObject* object) const { return entries_.count(object) != 0; }
    // The position of the record's first occurrence, or none when it is not listed.
    std::optional<std::size_t> indexOf(const ManagedObject* object) const;

    // `index` at most size().
    void insert(std::size_t index, std::shared_ptr<ManagedObject> object);
    // `index` below size().
    void remove(std::size_t index);
    void replace(std::size_t index, std::shared_ptr<ManagedObject> object);

private:
    struct Entry {
        std::size_t count = 0;  // occurrences in the list (more than one only by misuse)
        std::size_t hint = 0;   // where it stood last
    };
    void add(const ManagedObject* object, std::size_t index);
    void drop(const ManagedObject* object);

    ObjectList objects_;
    mutable std::unordered_map<const ManagedObject*, Entry> entries_;
};

}  // namespace clipmoor
