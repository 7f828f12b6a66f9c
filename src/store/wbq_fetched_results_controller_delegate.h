#pragma once

#include <QtGlobal>

#include <limits>
#include <memory>

namespace clipmoor {

class ManagedObject;
class WBQFetchedResultsController;

// The index of an event that has none (the old index of an insertion, the new index of a
// deletion or an update): the largest signed 64-bit value.
inline constexpr quint64 NSNotFound = static_cast<quint64>(std::numeric_limits<qint64>::max());

enum WBQFetchedResultsChangeType : quint64 {
    WBQFetchedResultsChangeInsert = 0,  // index NSNotFound, newIndex where it was inserted
    WBQFetchedResultsChangeDelete = 1,  // index where it was, newIndex NSNotFound
    WBQFetchedResultsChangeMove = 2,    // index before the move, newIndex after it
    WBQFetchedResultsChangeUpdate = 3,  // index where it is, newIndex NSNotFound
};

// What a results controller's delegate hears. Delegates are QObjects that also derive from
// this class; the controller holds them weakly. Each of the four methods is optional: a
// delegate says which ones it implements, and the controller asks once each time the delegate
// is set. Every index refers to the list at the moment of that event, so a delegate that
// mirrors the list applies the changes one at a time, in the order received.
class WBQFetchedResultsControllerDelegate {
public:
    struct ImplementedMethods {
        bool controllerWillChangeContent = false;
        bool controllerWillChangeObject = false;
        bool controllerDidChangeObject = false;
        bool controllerDidChangeContent = false;
    };

    virtual ~WBQFetchedResultsControllerDelegate() = default;

    virtual ImplementedMethods implementedMethods() const = 0;

    virtual void controllerWillChangeContent(WBQFetchedResultsController*) {}
    virtual void controllerWillChangeObject(WBQFetchedResultsController*,
                                            const std::shared_ptr<ManagedObject>&,
                                            quint64 /*index*/, WBQFetchedResultsChangeType,
                                            quint64 /*newIndex*/) {}
    virtual void controllerDidChangeObject(WBQFetchedResultsController*,
                                           const std::shared_ptr<ManagedObject>&, quint64 /*index*/,
                                           WBQFetchedResultsChangeType, quint64 /*newIndex*/) {}
    virtual void controllerDidChangeContent(WBQFetchedResultsController*) {}
};

}  // namespace clipmoor
