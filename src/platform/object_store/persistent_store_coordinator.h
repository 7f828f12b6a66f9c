#pragma once

#include <QString>
#include <QUrl>

#include <memory>

#include "platform/error.h"
#include "platform/object_store/managed_object_model.h"
#include "platform/object_store/sqlite_store.h"

namespace clipmoor {

// Store types understood by addPersistentStore.
inline constexpr const char* NSSQLiteStoreType = "SQLite";
inline constexpr const char* NSInMemoryStoreType = "InMemory";  // lives as long as the store

// Connects a model to its one store.
class PersistentStoreCoordinator {
public:
    explicit PersistentStoreCoordinator(std::shared_ptr<const ManagedObjectModel> model);
    ~PersistentStoreCoordinator();

    const std::shared_ptr<const ManagedObjectModel>& managedObjectModel() const { return model_; }

    // Opens (or creates) the store at `url` (a file URL; ignored for the in-memory type).
    // None plus an error when the type is unknown, a store was already added, or the file
    // cannot be used; a file that is not a store of this model is left untouched.
    SqliteStore* addPersistentStore(const QString& storeType, const QUrl& url, Error* error);
    SqliteStore* persistentStore() const { return store_.get(); }

private:
    std::shared_ptr<const ManagedObjectModel> model_;
    std::unique_ptr<SqliteStore> store_;
};

}  // namespace clipmoor
