// The results controller's list: after any sequence of insertions, removals and replacements,
// every lookup answers what a scan of the list from the start would answer.
#include <gtest/gtest.h>

#include <random>

#include "platform/object_store/managed_object.h"
#include "store/fetched_object_list.h"

namespace clipmoor {
namespace {

// Lookups only compare addresses, so distinct addresses stand in for records.
const ManagedObject* fake(std::size_t n) {
    static char cells[24];
    return reinterpret_cast<const ManagedObject*>(&cells[n]);
}

std::shared_ptr<ManagedObject> handle(std::size_t n) {
    return std::shared_ptr<ManagedObject>(std::shared_ptr<void>(),
                                          const_cast<ManagedObject*>(fake(n)));
}

class FetchedObjectListTest : public testing::TestWithParam<int> {};

TEST_P(FetchedObjectListTest, LookupsMatchAScanFromTheStart) {
    std::mt19937 random(GetParam());
    std::vector<std::shared_ptr<ManagedObject>> initial;
    for (std::size_t n = 0; n < 10; ++n) initial.push_back(handle(n));
    FetchedObjectList list(initial);
    // Drawn from a small pool, so records also go in twice (only misuse does that); the first
    // occurrence counts then.
    const std::size_t pool = 24;

    for (int step = 0; step < 400; ++step) {
        const std::size_t size = list.size();
        const auto at = [&](std::size_t bound) { return random() % bound; };
        switch (at(4)) {
            case 0:  // an insertion anywhere, the end included
                list.insert(at(size + 1), handle(at(pool)));
                break;
            case 1:
                if (size) list.remove(at(size));
                break;
            case 2:
                if (size) list.replace(at(size), handle(at(pool)));
                break;
            default:
                break;  // lookups only
        }
        for (std::size_t n = 0; n < pool; ++n) {
            std::optional<std::size_t> expected;  // the first occurrence, found from the end
            for (std::size_t k = list.size(); k-- > 0;)
                if (list.objects()[k].get() == fake(n)) expected = k;
            ASSERT_EQ(list.contains(fake(n)), expected.has_value()) << "step " << step;
            ASSERT_EQ(list.indexOf(fake(n)), expected) << "step " << step << " record " << n;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Store, FetchedObjectListTest, testing::Range(1, 5));

}  // namespace
}  // namespace clipmoor
