#include "store/wbq_fetched_results_controller.h"

#include <algorithm>
#include <unordered_set>

#include "platform/main_queue.h"
#include "store/fetched_results_ordering.h"

namespace clipmoor {

namespace ordering = fetched_results_ordering;

namespace {

OrderedObjectSet setUnder(const Notification& notification, const char* key) {
    OrderedObjectSet set;
    for (const auto& object : notification.userInfo.value(key).value<ManagedObjectSet>())
        set.insert(object);
    return set;
}

// The first component of each sort descriptor's key path.
QStringList sortRoots(const FetchRequest& request) {
    QStringList roots;
    for (const SortDescriptor& descriptor : request.sortDescriptors())
        roots << descriptor.key().section(QLatin1Char('.'), 0, 0);
    return roots;
}

}  // namespace

WBQFetchedResultsController::WBQFetchedResultsController(std::optional<FetchRequest> fetchRequest,
                                                         ManagedObjectContext* managedObjectContext,
                                                         QObject* parent)
    : QObject(parent),
      fetchRequest_(std::move(fetchRequest)),
      managedObjectContext_(managedObjectContext) {
    Q_ASSERT_X(isMainThread(), "WBQFetchedResultsController", "used off the main thread");
    if (!managedObjectContext) return;  // no context: nothing to observe
    // The handler holds the controller weakly; the token ends the registration with it.
    const QPointer<WBQFetchedResultsController> weakSelf(this);
    managedObjectContextObjectsDidChangeObserver_ = NotificationCenter::defaultCenter().addObserver(
        NSManagedObjectContextObjectsDidChangeNotification,
        [weakSelf](const Notification& notification) {
            if (weakSelf) weakSelf->managedObjectContextObjectsDidChange(notification);
        },
        managedObjectContext);
}

WBQFetchedResultsController::~WBQFetchedResultsController() {
    managedObjectContextObjectsDidChangeObserver_.reset();
}

bool WBQFetchedResultsController::performFetch(Error* error) {
    if (!fetchRequest_) return false;
    if (managedObjectContext_) {
        auto results = managedObjectContext_->executeFetchRequest(*fetchRequest_, error);
        if (results) fetchedObjectsBackingStore_.emplace(std::move(*results));
    }
    return fetchedObjectsBackingStore_.has_value();
}

std::optional<WBQFetchedResultsController::ObjectList> WBQFetchedResultsController::fetchedObjects()
    const {
    if (!fetchedObjectsBackingStore_) return std::nullopt;
    return fetchedObjectsBackingStore_->objects();
}

const WBQFetchedResultsController::ObjectList* WBQFetchedResultsController::fetchedObjectsNoCopy()
    const {
    return fetchedObjectsBackingStore_ ? &fetchedObjectsBackingStore_->objects() : nullptr;
}

quint64 WBQFetchedResultsController::countOfFetchedObjects() const {
    return fetchedObjectsBackingStore_ ? fetchedObjectsBackingStore_->size() : 0;
}

std::shared_ptr<ManagedObject> WBQFetchedResultsController::objectInFetchedObjectsAtIndex(
    quint64 index) const {
    if (index >= countOfFetchedObjects()) return nullptr;
    return fetchedObjectsBackingStore_->objects()[index];
}

WBQFetchedResultsController::ObjectList WBQFetchedResultsController::fetchedObjectsAtIndexes(
    const IndexSet& indexes) const {
    ObjectList objects;
    for (quint64 index : indexes)
        if (auto object = objectInFetchedObjectsAtIndex(index)) objects.push_back(object);
    return objects;
}

WBQFetchedResultsController::ObjectList WBQFetchedResultsController::getFetchedObjects(
    quint64 location, quint64 length) const {
    const quint64 count = countOfFetchedObjects();
    if (location >= count) return {};
    const quint64 end = location + std::min(length, count - location);
    const ObjectList& list = fetchedObjectsBackingStore_->objects();
    return ObjectList(list.begin() + location, list.begin() + end);
}

void WBQFetchedResultsController::insertObject(const std::shared_ptr<ManagedObject>& object,
                                               quint64 index) {
    if (!fetchedObjectsBackingStore_) fetchedObjectsBackingStore_.emplace();
    fetchedObjectsBackingStore_->insert(std::min<quint64>(index, countOfFetchedObjects()), object);
}

void WBQFetchedResultsController::removeObjectFromFetchedObjectsAtIndex(quint64 index) {
    if (index >= countOfFetchedObjects()) return;
    fetchedObjectsBackingStore_->remove(index);
}

void WBQFetchedResultsController::insertFetchedObjects(const ObjectList& objects,
                                                       const IndexSet& indexes) {
    // Each object goes to its index in the list as it is after the earlier insertions.
    auto index = indexes.begin();
    for (const auto& object : objects) {
        if (index == indexes.end()) break;
        insertObject(object, *index++);
    }
}

void WBQFetchedResultsController::removeFetchedObjectsAtIndexes(const IndexSet& indexes) {
    for (auto index = indexes.rbegin(); index != indexes.rend(); ++index)
        removeObjectFromFetchedObjectsAtIndex(*index);
}

void WBQFetchedResultsController::replaceObjectInFetchedObjectsAtIndex(
    quint64 index, const std::shared_ptr<ManagedObject>& object) {
    if (index < countOfFetchedObjects()) fetchedObjectsBackingStore_->replace(index, object);
}

void WBQFetchedResultsController::replaceFetchedObjectsAtIndexes(const IndexSet& indexes,
                                                                 const ObjectList& objects) {
    auto object = objects.begin();
    for (quint64 index : indexes) {
        if (object == objects.end()) break;
        replaceObjectInFetchedObjectsAtIndex(index, *object++);
    }
}

WBQFetchedResultsControllerDelegate* WBQFetchedResultsController::delegate() const {
    return delegateObject_ ? delegate_ : nullptr;
}

void WBQFetchedResultsController::setDelegateObject(QObject* object,
                                                    WBQFetchedResultsControllerDelegate* delegate) {
    delegateObject_ = object;
    delegate_ = delegate;
    delegateRespondsTo_ = delegate ? delegate->implementedMethods()
                                   : WBQFetchedResultsControllerDelegate::ImplementedMethods{};
}

bool WBQFetchedResultsController::isOfRequestEntity(const ManagedObject& object) const {
    return requestEntity_ && object.isKindOfEntity(*requestEntity_);
}

std::optional<std::size_t> WBQFetchedResultsController::indexOfObject(
    const ManagedObject* object) const {
    return fetchedObjectsBackingStore_->indexOf(object);
}

void WBQFetchedResultsController::managedObjectContextObjectsDidChange(
    const Notification& notification) {
    if (!fetchedObjectsBackingStore_ || !fetchRequest_) return;
    const auto* context =
        qobject_cast<ManagedObjectContext*>(notification.object.value<QObject*>());
    requestEntity_ = context ? context->entityForName(fetchRequest_->entityName()) : nullptr;
    if (!requestEntity_) return;

    const OrderedObjectSet refreshed = setUnder(notification, NSRefreshedObjectsKey);
    OrderedObjectSet updated = setUnder(notification, NSUpdatedObjectsKey);
    for (const auto& object : refreshed.items()) updated.insert(object);

    OrderedObjectSet inserted;
    const OrderedObjectSet reportedInserted = setUnder(notification, NSInsertedObjectsKey);
    for (const auto& object : reportedInserted.items())
        if (!fetchedObjectsBackingStore_->contains(object.get())) inserted.insert(object);
    OrderedObjectSet deleted = setUnder(notification, NSDeletedObjectsKey);
    const OrderedObjectSet invalidated = setUnder(notification, NSInvalidatedObjectsKey);
    for (const auto& object : invalidated.items()) deleted.insert(object);
    for (const auto& object : inserted.items()) updated.erase(object.get());
    for (const auto& object : deleted.items()) updated.erase(object.get());

    const auto concernsRequest = [this](const OrderedObjectSet& set) {
        return std::any_of(set.items().begin(), set.items().end(),
                           [this](const auto& object) { return isOfRequestEntity(*object); });
    };
    if (!concernsRequest(updated) && !concernsRequest(deleted) && !concernsRequest(inserted))
        return;

    UpdatePhaseResult becoming;
    if (!willChangeContent()) return;
    if (!processUpdatedObjects(updated, refreshed, &becoming)) return;
    if (!processDeletedObjects(deleted, becoming.updatedObjectsThatBecomeDeleted)) return;
    if (!processInsertedObjects(inserted, becoming.updatedObjectsThatBecomeInserted)) return;
    didChangeContent();
}

bool WBQFetchedResultsController::processUpdatedObjects(
    const OrderedObjectSet& updated, const OrderedObjectSet& objectsLackingChangeDictionary,
    UpdatePhaseResult* result) {
    const QStringList roots = sortRoots(*fetchRequest_);
    const auto needsNewPosition = [&](const ManagedObject& object) {
        if (objectsLackingChangeDictionary.contains(&object)) return true;
        const QStringList changed = object.changedValuesForCurrentEvent().keys();
        return std::any_of(changed.begin(), changed.end(),
                           [&](const QString& key) { return roots.contains(key); });
    };
    // Listed records whose position this notification may have made wrong: they are left out
    // of every move search until they have been put in place themselves.
    std::unordered_set<const ManagedObject*> unplaced;
    for (const auto& object : updated.items())
        if (isOfRequestEntity(*object) && indexOfObject(object.get()) &&
            (!fetchRequest_->matches(*object) || needsNewPosition(*object)))
            unplaced.insert(object.get());

    for (const auto& object : updated.items()) {
        if (!isOfRequestEntity(*object)) continue;
        const bool matches = fetchRequest_->matches(*object);
        const std::optional<std::size_t> index = indexOfObject(object.get());
        if (!matches) {
            if (index) result->updatedObjectsThatBecomeDeleted.insert(object);
            continue;
        }
        if (!index) {
            result->updatedObjectsThatBecomeInserted.insert(object);
            continue;
        }
        unplaced.erase(object.get());
        if (!needsNewPosition(*object)) {
            if (!updateObjectInPlace(object, *index)) return false;
            continue;
        }
        const std::size_t newIndex =
            ordering::moveIndex(fetchedObjectsBackingStore_->objects(), *index, *object,
                                fetchRequest_->sortDescriptors(), unplaced);
        if (newIndex == *index) {
            if (!updateObjectInPlace(object, *index)) return false;
            continue;
        }
        if (!sendObjectEvent(true, object, *index, WBQFetchedResultsChangeMove, newIndex))
            return false;
        removeObjectFromFetchedObjectsAtIndex(*index);
        insertObject(object, newIndex);
        if (!sendObjectEvent(false, object, *index, WBQFetchedResultsChangeMove, newIndex))
            return false;
    }
    return true;
}

bool WBQFetchedResultsController::updateObjectInPlace(const std::shared_ptr<ManagedObject>& object,
                                                      std::size_t index) {
    return sendObjectEvent(true, object, index, WBQFetchedResultsChangeUpdate, NSNotFound) &&
           sendObjectEvent(false, object, index, WBQFetchedResultsChangeUpdate, NSNotFound);
}

bool WBQFetchedResultsController::processDeletedObjects(
    const OrderedObjectSet& deleted, const OrderedObjectSet& updatedObjectsThatBecomeDeleted) {
    OrderedObjectSet candidates = deleted;
    for (const auto& object : updatedObjectsThatBecomeDeleted.items()) candidates.insert(object);
    // Listed records leave from the highest position down: a removal then moves none of the
    // records still to go, and clearing a long list costs its length, not its square.
    std::vector<std::pair<std::size_t, std::shared_ptr<ManagedObject>>> listed;
    for (const auto& object : candidates.items()) {
        if (!isOfRequestEntity(*object)) continue;
        if (const auto index = indexOfObject(object.get())) listed.emplace_back(*index, object);
    }
    std::sort(listed.begin(), listed.end(),
              [](const auto& a, const auto& b) { return a.first > b.first; });
    for (const auto& [position, object] : listed) {
        // Looked up again in case a delegate changed the list.
        const std::optional<std::size_t> index = objectInFetchedObjectsAtIndex(position) == object
                                                     ? position
                                                     : indexOfObject(object.get());
        if (!index) continue;
        if (!sendObjectEvent(true, object, *index, WBQFetchedResultsChangeDelete, NSNotFound))
            return false;
        removeObjectFromFetchedObjectsAtIndex(*index);
        if (!sendObjectEvent(false, object, *index, WBQFetchedResultsChangeDelete, NSNotFound))
            return false;
    }
    return true;
}

bool WBQFetchedResultsController::processInsertedObjects(
    const OrderedObjectSet& inserted, const OrderedObjectSet& updatedObjectsThatBecomeInserted) {
    OrderedObjectSet candidates;
    for (const auto& object : inserted.items())
        if (isOfRequestEntity(*object) && fetchRequest_->matches(*object))
            candidates.insert(object);
    for (const auto& object : updatedObjectsThatBecomeInserted.items()) candidates.insert(object);

    const auto& descriptors = fetchRequest_->sortDescriptors();
    const quint64 limit = fetchRequest_->fetchLimit();
    for (const auto& object : candidates.items()) {
        std::size_t index = fetchedObjectsBackingStore_->size();
        if (!descriptors.empty())
            index = ordering::insertionIndex(fetchedObjectsBackingStore_->objects(), *object,
                                             descriptors);
        if (limit != 0 && index >= limit) continue;
        if (!sendObjectEvent(true, object, NSNotFound, WBQFetchedResultsChangeInsert, index))
            return false;
        insertObject(object, index);
        if (!sendObjectEvent(false, object, NSNotFound, WBQFetchedResultsChangeInsert, index))
            return false;
    }
    return true;
}

bool WBQFetchedResultsController::willChangeContent() {
    WBQFetchedResultsControllerDelegate* const target = delegate();
    if (!target || !delegateRespondsTo_.controllerWillChangeContent) return true;
    const QPointer<WBQFetchedResultsController> self(this);
    target->controllerWillChangeContent(this);
    return !self.isNull();
}

bool WBQFetchedResultsController::didChangeContent() {
    WBQFetchedResultsControllerDelegate* const target = delegate();
    if (!target || !delegateRespondsTo_.controllerDidChangeContent) return true;
    const QPointer<WBQFetchedResultsController> self(this);
    target->controllerDidChangeContent(this);
    return !self.isNull();
}

bool WBQFetchedResultsController::sendObjectEvent(bool will,
                                                  const std::shared_ptr<ManagedObject>& object,
                                                  quint64 index, WBQFetchedResultsChangeType type,
                                                  quint64 newIndex) {
    WBQFetchedResultsControllerDelegate* const target = delegate();
    const bool responds = will ? delegateRespondsTo_.controllerWillChangeObject
                               : delegateRespondsTo_.controllerDidChangeObject;
    if (!target || !responds) return true;
    const QPointer<WBQFetchedResultsController> self(this);
    if (will)
        target->controllerWillChangeObject(this, object, index, type, newIndex);
    else
        target->controllerDidChangeObject(this, object, index, type, newIndex);
    return !self.isNull();
}

}  // namespace clipmoor
