#include "store/fetched_results_ordering.h"

#include <algorithm>
#include <ranges>
#include <vector>

#include "platform/object_store/managed_object.h"

namespace clipmoor::fetched_results_ordering {

ComparisonResult moveComparison(const SortDescriptors& descriptors, const ManagedObject& a,
                                const ManagedObject& b) {
    for (const SortDescriptor& descriptor : descriptors) {
        const bool aMissing = !a.valueForKeyPath(descriptor.key()).isValid();
        const bool bMissing = !b.valueForKeyPath(descriptor.key()).isValid();
        if (aMissing && bMissing) continue;
        const ComparisonResult before = descriptor.ascending()
                                            ? ComparisonResult::OrderedAscending
                                            : ComparisonResult::OrderedDescending;
        const ComparisonResult after = descriptor.ascending() ? ComparisonResult::OrderedDescending
                                                              : ComparisonResult::OrderedAscending;
        if (aMissing) return before;
        if (bMissing) return after;
        const ComparisonResult result = descriptor.compareObject(a, b);
        if (result != ComparisonResult::OrderedSame) return result;
    }
    return ComparisonResult::OrderedSame;
}

ComparisonResult insertionComparison(const SortDescriptors& descriptors, const ManagedObject& a,
                                     const ManagedObject& b) {
    for (const SortDescriptor& descriptor : descriptors) {
        const ComparisonResult result = descriptor.compareObject(a, b);
        if (result != ComparisonResult::OrderedSame) return result;
    }
    return ComparisonResult::OrderedSame;
}

std::size_t moveIndex(const ObjectList& list, std::size_t skip, const ManagedObject& object,
                      const SortDescriptors& descriptors,
                      const std::unordered_set<const ManagedObject*>& unplaced) {
    // A lower-bound search over the list as it would be without the element at `skip` (and
    // without the unplaced ones), over positions rather than a copy of the records.
    std::vector<std::size_t> placed;  // positions in the list without `skip`
    placed.reserve(list.size());
    for (std::size_t k = 0; k < list.size(); ++k)
        if (k != skip && !unplaced.count(list[k].get())) placed.push_back(k < skip ? k : k - 1);
    const auto found = std::ranges::partition_point(placed, [&](std::size_t position) {
        const ManagedObject& element = *list[position < skip ? position : position + 1];
        return moveComparison(descriptors, element, object) == ComparisonResult::OrderedAscending;
    });
    if (found == placed.begin()) return 0;
    if (found == placed.end()) return list.empty() ? 0 : list.size() - 1;
    return *found;
}

std::size_t insertionIndex(const ObjectList& list, const ManagedObject& object,
                           const SortDescriptors& descriptors) {
    const auto found = std::upper_bound(
        list.begin(), list.end(), &object, [&](const ManagedObject* value, const auto& element) {
            return insertionComparison(descriptors, *value, *element) ==
                   ComparisonResult::OrderedAscending;
        });
    return static_cast<std::size_t>(found - list.begin());
}

}  // namespace clipmoor::fetched_results_ordering
