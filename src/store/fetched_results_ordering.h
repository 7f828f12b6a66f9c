#pragma once

#include <cstddef>
#include <memory>
#include <unordered_set>
#include <vector>

#include "platform/object_store/fetch_request.h"

namespace clipmoor {

class ManagedObject;

// How the results controller orders its list: two comparators over a request's sort
// descriptors and binary searches for new positions (the list is never sorted again).
namespace fetched_results_ordering {

using ObjectList = std::vector<std::shared_ptr<ManagedObject>>;
using SortDescriptors = std::vector<SortDescriptor>;

// Descriptor by descriptor: two missing values go on to the next descriptor; one missing value
// sorts before every present one under an ascending descriptor and after them under a
// descending one; two present values answer the descriptor's comparison unless it is a tie.
ComparisonResult moveComparison(const SortDescriptors& descriptors, const ManagedObject& a,
                                const ManagedObject& b);
// Descriptor by descriptor, the descriptor's own comparison until one is not a tie.
ComparisonResult insertionComparison(const SortDescriptors& descriptors, const ManagedObject& a,
                                     const ManagedObject& b);

// The lowest index at which `object` goes into `list` with the element at `skip` taken out,
// keeping the order: before every element that compares equal (move comparator).
//
// Elements in `unplaced` are left out of the search: they changed in the same notification and
// still stand at their old positions, so comparing with them there could misplace `object`.
// The answer is then the position just before the first placed element that does not sort
// before `object` (0 when that is the first one, the end when there is none). With nothing
// unplaced this is the plain lower bound.
std::size_t moveIndex(const ObjectList& list, std::size_t skip, const ManagedObject& object,
                      const SortDescriptors& descriptors,
                      const std::unordered_set<const ManagedObject*>& unplaced = {});
// An index at which `object` goes into `list` keeping the order: after the elements that
// compare equal, so records with equal sort values stay in arrival order (insertion
// comparator).
std::size_t insertionIndex(const ObjectList& list, const ManagedObject& object,
                           const SortDescriptors& descriptors);

}  // namespace fetched_results_ordering
}  // namespace clipmoor
