#pragma once

#include <QObject>
#include <QPointer>

#include <concepts>
#include <memory>
#include <optional>
#include <set>
#include <vector>

#include "platform/error.h"
#include "platform/notification_center.h"
#include "platform/object_store/fetch_request.h"
#include "platform/object_store/managed_object_context.h"
#include "platform/object_store/ordered_object_set.h"
#include "store/fetched_object_list.h"
#include "store/wbq_fetched_results_controller_delegate.h"

namespace clipmoor {

// Keeps a flat, ordered list of the records one fetch request selects from one context, and
// keeps it current from the context's change notifications: each change is applied to the list
// at once and reported to the delegate with the positions before and after. Main thread only.
//
// For one notification the delegate hears, between one will-change-content and one
// did-change-content: first updates and moves of records that stay, then deletions, then
// insertions. A notification that concerns no record of the request's entity produces nothing.
class WBQFetchedResultsController : public QObject {
    Q_OBJECT

public:
    using ObjectList = std::vector<std::shared_ptr<ManagedObject>>;
    using IndexSet = std::set<quint64>;

    // Holds both and observes the context's change notifications; does not fetch. The
    // observation stays on this context even if another one is set later.
    WBQFetchedResultsController(std::optional<FetchRequest> fetchRequest,
                                ManagedObjectContext* managedObjectContext,
                                QObject* parent = nullptr);
    ~WBQFetchedResultsController() override;

    // Fetches the list, without events. False without a fetch request (error left alone), or
    // when the fetch fails and no earlier fetch left a list; an earlier list then stays.
    bool performFetch(Error* error);

    // A copy of the list; none before the first successful fetch.
    std::optional<ObjectList> fetchedObjects() const;
    const ObjectList* fetchedObjectsNoCopy() const;
    void setFetchedObjects(const ObjectList& objects) {
        fetchedObjectsBackingStore_.emplace(objects);
    }

    // Indexed access to the list. Indexes beyond the list are ignored (reads give nothing).
    quint64 countOfFetchedObjects() const;
    std::shared_ptr<ManagedObject> objectInFetchedObjectsAtIndex(quint64 index) const;
    ObjectList fetchedObjectsAtIndexes(const IndexSet& indexes) const;
    ObjectList getFetchedObjects(quint64 location, quint64 length) const;
    void insertObject(const std::shared_ptr<ManagedObject>& object, quint64 index);
    void removeObjectFromFetchedObjectsAtIndex(quint64 index);
    void insertFetchedObjects(const ObjectList& objects, const IndexSet& indexes);
    void removeFetchedObjectsAtIndexes(const IndexSet& indexes);
    void replaceObjectInFetchedObjectsAtIndex(quint64 index,
                                              const std::shared_ptr<ManagedObject>& object);
    void replaceFetchedObjectsAtIndexes(const IndexSet& indexes, const ObjectList& objects);

    const std::optional<FetchRequest>& fetchRequest() const { return fetchRequest_; }
    void setFetchRequest(std::optional<FetchRequest> request) {
        fetchRequest_ = std::move(request);
    }
    ManagedObjectContext* managedObjectContext() const { return managedObjectContext_.data(); }
    void setManagedObjectContext(ManagedObjectContext* context) { managedObjectContext_ = context; }

    WBQFetchedResultsControllerDelegate* delegate() const;
    template <class Delegate>
    requires std::derived_from<Delegate, QObject> &&
        std::derived_from<Delegate, WBQFetchedResultsControllerDelegate>
    void setDelegate(Delegate* delegate) { setDelegateObject(delegate, delegate); }
    void setDelegate(std::nullptr_t) { setDelegateObject(nullptr, nullptr); }

private:
    struct UpdatePhaseResult {
        OrderedObjectSet updatedObjectsThatBecomeDeleted;
        OrderedObjectSet updatedObjectsThatBecomeInserted;
    };

    void setDelegateObject(QObject* object, WBQFetchedResultsControllerDelegate* delegate);
    void managedObjectContextObjectsDidChange(const Notification& notification);
    bool isOfRequestEntity(const ManagedObject& object) const;
    std::optional<std::size_t> indexOfObject(const ManagedObject* object) const;

    // The three phases; each answers false when a delegate call destroyed this controller.
    bool processUpdatedObjects(const OrderedObjectSet& updated,
                               const OrderedObjectSet& objectsLackingChangeDictionary,
                               UpdatePhaseResult* result);
    bool processDeletedObjects(const OrderedObjectSet& deleted,
                               const OrderedObjectSet& updatedObjectsThatBecomeDeleted);
    bool processInsertedObjects(const OrderedObjectSet& inserted,
                                const OrderedObjectSet& updatedObjectsThatBecomeInserted);
    bool updateObjectInPlace(const std::shared_ptr<ManagedObject>& object, std::size_t index);

    // Delegate events; each answers false when the delegate call destroyed this controller.
    bool willChangeContent();
    bool didChangeContent();
    bool sendObjectEvent(bool will, const std::shared_ptr<ManagedObject>& object, quint64 index,
                         WBQFetchedResultsChangeType type, quint64 newIndex);

    ObserverToken managedObjectContextObjectsDidChangeObserver_;
    std::optional<FetchedObjectList> fetchedObjectsBackingStore_;
    WBQFetchedResultsControllerDelegate::ImplementedMethods delegateRespondsTo_;
    std::optional<FetchRequest> fetchRequest_;
    QPointer<ManagedObjectContext> managedObjectContext_;
    QPointer<QObject> delegateObject_;
    WBQFetchedResultsControllerDelegate* delegate_ = nullptr;
    std::shared_ptr<const EntityDescription> requestEntity_;  // during one notification
};

}  // namespace clipmoor
