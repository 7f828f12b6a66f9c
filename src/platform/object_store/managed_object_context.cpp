#include "platform/object_store/managed_object_context.h"

#include <algorithm>

#include "platform/main_queue.h"
#include "platform/notification_center.h"
#include "platform/object_store/object_store_error.h"

namespace clipmoor {

namespace {

void assertMainThread() {
    Q_ASSERT_X(isMainThread(), "ManagedObjectContext", "used off the main thread");
}

Error notFoundError(const ObjectID& objectID) {
    return objectStoreError(kManagedObjectReferentialIntegrityError,
                            QStringLiteral("No record with the identity %1 exists.")
                                .arg(objectID.URIRepresentation().toString()));
}

Error noStoreError() {
    return objectStoreError(kCoreDataError, QStringLiteral("The context has no store."));
}

}  // namespace

std::shared_ptr<const EntityDescription> EntityDescription::entityForName(
    const QString& name, const ManagedObjectContext& context) {
    return context.entityForName(name);
}

ManagedObjectContext::ManagedObjectContext(ConcurrencyType, QObject* parent) : QObject(parent) {
    assertMainThread();
}

ManagedObjectContext::~ManagedObjectContext() = default;

void ManagedObjectContext::setPersistentStoreCoordinator(
    std::shared_ptr<PersistentStoreCoordinator> coordinator) {
    assertMainThread();
    coordinator_ = std::move(coordinator);
}

std::shared_ptr<const EntityDescription> ManagedObjectContext::entityForName(
    const QString& name) const {
    if (!coordinator_ || !coordinator_->managedObjectModel()) return nullptr;
    return coordinator_->managedObjectModel()->entityNamed(name);
}

std::shared_ptr<ManagedObject> ManagedObjectContext::insertNewObjectForEntityForName(
    const QString& entityName) {
    const auto entity = entityForName(entityName);
    if (!entity) {
        qWarning("Clipmoor: no entity named \"%s\" in the context's model", qPrintable(entityName));
        return nullptr;
    }
    return insertNewObject(*entity);
}

std::shared_ptr<ManagedObject> ManagedObjectContext::insertNewObject(const EntityDescription& e) {
    assertMainThread();
    SqliteStore* const store = this->store();
    // Always the entity of this context's own model, whatever model `e` came from.
    const auto entity = entityForName(e.name());
    if (!store || !entity) return nullptr;
    const std::optional<qint64> key = store->allocatePrimaryKey();
    if (!key) {
        qWarning("Clipmoor: the store has no record key left for a new \"%s\"",
                 qPrintable(entity->name()));
        return nullptr;
    }
    auto object = entity->makeObject(ManagedObjectInit(entity));
    object->context_ = this;
    object->objectID_ = ObjectID(store->identifier(), entity->name(), *key);
    object->inserted_ = true;
    registered_.emplace(object->objectID_.primaryKey(), object);
    inserted_.insert(object);
    eventInserted_.insert(object);
    scheduleChangeNotification();
    object->awakeFromInsert();
    return object;
}

std::shared_ptr<ManagedObject> ManagedObjectContext::registerRow(StoreRow& row) {
    const auto entity = entityForName(row.entityName);
    if (!entity) return nullptr;
    auto object = entity->makeObject(ManagedObjectInit(entity));
    object->context_ = this;
    object->objectID_ = ObjectID(store()->identifier(), row.entityName, row.primaryKey);
    if (row.values.size() == object->values_.size()) {
        object->values_ = std::move(row.values);
        object->storedText_ = std::move(row.text);
    }
    registered_.emplace(row.primaryKey, object);
    return object;
}

std::optional<std::vector<std::shared_ptr<ManagedObject>>>
ManagedObjectContext::executeFetchRequest(const FetchRequest& request, Error* error) {
    assertMainThread();
    SqliteStore* const store = this->store();
    if (!store) {
        setError(error, noStoreError());
        return std::nullopt;
    }
    const auto entity = entityForName(request.entityName());
    if (!entity) {
        setError(error, objectStoreError(kCoreDataError,
                                         QStringLiteral("The data model has no entity named "
                                                        "\"%1\".")
                                             .arg(request.entityName())));
        return std::nullopt;
    }
    auto rows = store->fetchRows(*entity, error);
    if (!rows) return std::nullopt;

    std::vector<std::shared_ptr<ManagedObject>> results;
    std::vector<std::shared_ptr<ManagedObject>> fetchedForTheFirstTime;
    results.reserve(rows->size() + inserted_.size());
    fetchedForTheFirstTime.reserve(rows->size());
    for (StoreRow& row : *rows) {
        const auto registered = registered_.find(row.primaryKey);
        if (registered != registered_.end()) {
            results.push_back(registered->second);
        } else if (auto object = registerRow(row)) {
            results.push_back(object);
            fetchedForTheFirstTime.push_back(object);
        }
    }
    // Unsaved insertions come after everything stored: they have the highest keys.
    for (const auto& object : inserted_.items())
        if (object->isKindOfEntity(*entity)) results.push_back(object);
    for (const auto& object : fetchedForTheFirstTime) object->awakeFromFetch();

    std::erase_if(
        results, [&](const auto& object) { return object->deleted_ || !request.matches(*object); });
    const auto& descriptors = request.sortDescriptors();
    if (!descriptors.empty()) {
        std::stable_sort(results.begin(), results.end(), [&](const auto& a, const auto& b) {
            for (const SortDescriptor& descriptor : descriptors) {
                const ComparisonResult order = descriptor.compareObject(*a, *b);
                if (order != ComparisonResult::OrderedSame)
                    return order == ComparisonResult::OrderedAscending;
            }
            return false;
        });
    }
    if (request.fetchLimit() != 0 && results.size() > request.fetchLimit())
        results.resize(request.fetchLimit());
    return results;
}

std::shared_ptr<ManagedObject> ManagedObjectContext::existingObjectWithID(const ObjectID& objectID,
                                                                          Error* error) {
    assertMainThread();
    SqliteStore* const store = this->store();
    if (!store || objectID.storeIdentifier() != store->identifier()) {
        setError(error, notFoundError(objectID));
        return nullptr;
    }
    const auto registered = registered_.find(objectID.primaryKey());
    if (registered != registered_.end()) {
        if (registered->second->objectID_ == objectID) return registered->second;
        setError(error, notFoundError(objectID));
        return nullptr;
    }
    const auto entity = entityForName(objectID.entityName());
    Error readError;
    auto row = entity ? store->fetchRow(*entity, objectID.primaryKey(), &readError) : std::nullopt;
    if (!row || row->entityName != objectID.entityName()) {
        setError(error, readError.isValid() ? readError : notFoundError(objectID));
        return nullptr;
    }
    auto object = registerRow(*row);
    if (object) object->awakeFromFetch();
    return object;
}

void ManagedObjectContext::deleteObject(const std::shared_ptr<ManagedObject>& object) {
    assertMainThread();
    if (!object || object->context_ != this || object->deleted_) return;
    // Marked first, so a hook that leads back here (or changes values) finds it deleted.
    object->deleted_ = true;
    object->prepareForDeletion();
    updated_.erase(object.get());
    eventUpdated_.erase(object.get());
    if (object->inserted_) {
        // Never saved: it simply leaves the context. Observers that were told of its
        // insertion are told of its deletion; the others never hear of it.
        object->inserted_ = false;
        inserted_.erase(object.get());
        if (eventInserted_.contains(object.get()))
            eventInserted_.erase(object.get());
        else
            eventDeleted_.insert(object);
        registered_.erase(object->objectID_.primaryKey());
        object->context_ = nullptr;
    } else {
        deleted_.insert(object);
        eventDeleted_.insert(object);
    }
    scheduleChangeNotification();
}

void ManagedObjectContext::objectDidChangeValue(ManagedObject& object, const QString& key,
                                                const QVariant& oldValue) {
    if (object.deleted_) return;  // the deletion wins; the value is never written
    object.changedKeys_.insert(key);
    if (!object.eventChanges_.contains(key)) object.eventChanges_.insert(key, oldValue);
    const auto shared = object.shared_from_this();
    if (!object.inserted_) updated_.insert(shared);
    if (!eventInserted_.contains(&object)) eventUpdated_.insert(shared);
    scheduleChangeNotification();
}

bool ManagedObjectContext::save(Error* error) {
    assertMainThread();
    if (!hasChanges()) return true;
    SqliteStore* const store = this->store();
    if (!store) {
        setError(error, noStoreError());
        return false;
    }
    std::vector<StoreWrite> writes;
    for (const auto& object : inserted_.items())
        writes.push_back({StoreWrite::Kind::Insert, object->entity_.get(),
                          object->objectID_.primaryKey(), object->storedValues()});
    for (const auto& object : updated_.items()) {
        QVariantMap changed;
        for (const QString& key : object->changedKeys_)
            changed.insert(key, object->storedValue(key));
        writes.push_back({StoreWrite::Kind::Update, object->entity_.get(),
                          object->objectID_.primaryKey(), changed});
    }
    for (const auto& object : deleted_.items())
        writes.push_back(
            {StoreWrite::Kind::Delete, object->entity_.get(), object->objectID_.primaryKey(), {}});
    if (!store->save(writes, error)) return false;

    for (const auto& object : inserted_.items()) {
        object->inserted_ = false;
        object->changedKeys_.clear();
    }
    for (const auto& object : updated_.items()) object->changedKeys_.clear();
    for (const auto& object : deleted_.items()) {
        registered_.erase(object->objectID_.primaryKey());
        object->context_ = nullptr;
    }
    inserted_.clear();
    updated_.clear();
    deleted_.clear();
    return true;
}

bool ManagedObjectContext::writeValuesToStore(const ManagedObject& object,
                                              const QVariantMap& values, Error* error) {
    assertMainThread();
    SqliteStore* const store = this->store();
    if (!store) {
        setError(error, noStoreError());
        return false;
    }
    if (object.context_ != this || object.inserted_ || object.deleted_) {
        setError(error,
                 objectStoreError(kCoreDataError,
                                  QStringLiteral("The record %1 is not stored.")
                                      .arg(object.objectID_.URIRepresentation().toString())));
        return false;
    }
    QVariantMap stored;
    for (auto it = values.begin(); it != values.end(); ++it) {
        const AttributeDescription* attribute = object.entity_->attributeNamed(it.key());
        QVariant value;
        if (!attribute || !attribute->normalise(it.value(), &value)) {
            setError(error,
                     objectStoreError(
                         kCoreDataError,
                         QStringLiteral("\"%1\" cannot be written as given.").arg(it.key())));
            return false;
        }
        stored.insert(it.key(), value);
    }
    return store->updateRow(*object.entity_, object.objectID_.primaryKey(), stored, error);
}

void ManagedObjectContext::scheduleChangeNotification() {
    if (notificationScheduled_) return;
    notificationScheduled_ = true;
    // Queued on this context, so it is dropped if the context goes away first.
    QMetaObject::invokeMethod(
        this,
        [this] {
            notificationScheduled_ = false;
            processPendingChanges();
        },
        Qt::QueuedConnection);
}

void ManagedObjectContext::processPendingChanges() {
    assertMainThread();
    if (posting_) {
        // Changes made by an observer of this very notification go into the next one.
        scheduleChangeNotification();
        return;
    }
    if (eventInserted_.empty() && eventUpdated_.empty() && eventDeleted_.empty()) return;
    const ManagedObjectSet inserted = eventInserted_.toList();
    const ManagedObjectSet updated = eventUpdated_.toList();
    const ManagedObjectSet deleted = eventDeleted_.toList();
    eventInserted_.clear();
    eventUpdated_.clear();
    eventDeleted_.clear();
    for (const ManagedObjectSet* set : {&inserted, &updated, &deleted}) {
        for (const auto& object : *set) {
            object->postedEventChanges_ = std::move(object->eventChanges_);
            object->eventChanges_.clear();
        }
    }
    const QVariantMap userInfo{{NSInsertedObjectsKey, QVariant::fromValue(inserted)},
                               {NSUpdatedObjectsKey, QVariant::fromValue(updated)},
                               {NSDeletedObjectsKey, QVariant::fromValue(deleted)},
                               {NSRefreshedObjectsKey, QVariant::fromValue(ManagedObjectSet())},
                               {NSInvalidatedObjectsKey, QVariant::fromValue(ManagedObjectSet())}};
    const QPointer<ManagedObjectContext> self(this);
    posting_ = true;
    NotificationCenter::defaultCenter().post(NSManagedObjectContextObjectsDidChangeNotification,
                                             QVariant::fromValue<QObject*>(this), userInfo);
    if (self) posting_ = false;
    for (const ManagedObjectSet* set : {&inserted, &updated, &deleted})
        for (const auto& object : *set) object->postedEventChanges_.clear();
}

}  // namespace clipmoor
