#pragma once

#include <QObject>
#include <QString>

#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

#include "platform/error.h"
#include "platform/object_store/fetch_request.h"
#include "platform/object_store/managed_object.h"
#include "platform/object_store/object_id.h"
#include "platform/object_store/ordered_object_set.h"
#include "platform/object_store/persistent_store_coordinator.h"

namespace clipmoor {

// Posted on the default notification centre, on the main thread, at most once per turn of the
// event loop after records of a context changed. The object is the context (a QObject*); the
// user info holds a ManagedObjectSet under each of the five keys below (empty when nothing of
// that kind happened). Every record inserted, changed or deleted since the previous
// notification is in exactly one of them.
inline constexpr const char* NSManagedObjectContextObjectsDidChangeNotification =
    "NSManagedObjectContextObjectsDidChangeNotification";
inline constexpr const char* NSInsertedObjectsKey = "inserted";
inline constexpr const char* NSUpdatedObjectsKey = "updated";
inline constexpr const char* NSDeletedObjectsKey = "deleted";
inline constexpr const char* NSRefreshedObjectsKey = "refreshed";
inline constexpr const char* NSInvalidatedObjectsKey = "invalidated";

// The scratch pad in which records are created, fetched, changed and deleted before a save
// writes them to the store in one transaction. Main thread only. The context keeps every
// record it has handed out, so one identity always maps to one live record.
class ManagedObjectContext : public QObject {
    Q_OBJECT

public:
    enum ConcurrencyType { MainQueueConcurrencyType = 2 };

    explicit ManagedObjectContext(ConcurrencyType type = MainQueueConcurrencyType,
                                  QObject* parent = nullptr);
    ~ManagedObjectContext() override;

    void setPersistentStoreCoordinator(std::shared_ptr<PersistentStoreCoordinator> coordinator);
    const std::shared_ptr<PersistentStoreCoordinator>& persistentStoreCoordinator() const {
        return coordinator_;
    }
    std::shared_ptr<const EntityDescription> entityForName(const QString& name) const;

    // A new record of the entity, made by the entity's class factory, with its permanent
    // identity; awakeFromInsert has run. None when the entity is unknown or there is no store.
    std::shared_ptr<ManagedObject> insertNewObject(const EntityDescription& entity);
    std::shared_ptr<ManagedObject> insertNewObjectForEntityForName(const QString& entityName);
    template <class RecordClass>
    std::shared_ptr<RecordClass> insertNewObjectForEntityForName(const QString& entityName) {
        return std::dynamic_pointer_cast<RecordClass>(insertNewObjectForEntityForName(entityName));
    }

    // The records the request selects, counting unsaved insertions and leaving out unsaved
    // deletions; none plus an error when the store cannot be read.
    std::optional<std::vector<std::shared_ptr<ManagedObject>>> executeFetchRequest(
        const FetchRequest& request, Error* error);
    // The live record with that identity; none plus an error when there is no such record
    // (for example because its deletion has been saved).
    std::shared_ptr<ManagedObject> existingObjectWithID(const ObjectID& objectID, Error* error);
    // Marks the record for deletion at the next save (a record never saved is dropped at once);
    // its prepareForDeletion runs now.
    void deleteObject(const std::shared_ptr<ManagedObject>& object);

    bool hasChanges() const { return !inserted_.empty() || !updated_.empty() || !deleted_.empty(); }
    // Nothing is ever bound to an editor, so there is never an edit to commit.
    bool commitEditing() const { return true; }
    // Writes every pending insertion, change and deletion in one transaction. On failure the
    // changes stay pending and a later save can write them.
    bool save(Error* error);
    // Writes `values` (attribute name -> value) of one saved record straight into its row of
    // the store file, in a small transaction of its own, for progress that must survive the
    // process (a download's resume data). Nothing else is written and nothing pending changes:
    // the record in memory, its unsaved changes and the context's other unsaved work stay as they
    // are, and the next save writes them as before. Fails, writing nothing, for a record that is
    // not stored in this context's store (never saved, deleted, or of another context), an
    // unknown attribute, a value the attribute cannot hold, or a store that cannot be written.
    bool writeValuesToStore(const ManagedObject& object, const QVariantMap& values, Error* error);
    // Posts the change notification now if anything changed since the last one; otherwise it
    // comes on the next turn of the event loop.
    void processPendingChanges();
    // There is no undo support.
    QObject* undoManager() const { return nullptr; }

    ManagedObjectSet insertedObjects() const { return inserted_.toList(); }
    ManagedObjectSet updatedObjects() const { return updated_.toList(); }
    ManagedObjectSet deletedObjects() const { return deleted_.toList(); }

private:
    friend class ManagedObject;
    void objectDidChangeValue(ManagedObject& object, const QString& key, const QVariant& oldValue);
    // Takes the row's values.
    std::shared_ptr<ManagedObject> registerRow(StoreRow& row);
    void scheduleChangeNotification();
    SqliteStore* store() const { return coordinator_ ? coordinator_->persistentStore() : nullptr; }

    std::shared_ptr<PersistentStoreCoordinator> coordinator_;
    std::unordered_map<qint64, std::shared_ptr<ManagedObject>> registered_;
    // Unsaved work.
    OrderedObjectSet inserted_;
    OrderedObjectSet updated_;
    OrderedObjectSet deleted_;
    // What the next change notification reports.
    OrderedObjectSet eventInserted_;
    OrderedObjectSet eventUpdated_;
    OrderedObjectSet eventDeleted_;
    bool notificationScheduled_ = false;
    bool posting_ = false;
};

}  // namespace clipmoor
