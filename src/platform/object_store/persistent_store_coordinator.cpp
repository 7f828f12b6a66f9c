#include "platform/object_store/persistent_store_coordinator.h"

#include "platform/object_store/object_store_error.h"

namespace clipmoor {

PersistentStoreCoordinator::PersistentStoreCoordinator(
    std::shared_ptr<const ManagedObjectModel> model)
    : model_(std::move(model)) {}

PersistentStoreCoordinator::~PersistentStoreCoordinator() = default;

SqliteStore* PersistentStoreCoordinator::addPersistentStore(const QString& storeType,
                                                            const QUrl& url, Error* error) {
    if (store_) {
        setError(error, objectStoreError(kCoreDataError,
                                         QStringLiteral("The coordinator already has a store.")));
        return nullptr;
    }
    if (!model_) {
        setError(error, objectStoreError(kCoreDataError,
                                         QStringLiteral("The coordinator has no data model.")));
        return nullptr;
    }
    QString path;
    if (storeType == QLatin1String(NSInMemoryStoreType)) {
        path = QStringLiteral(":memory:");
    } else if (storeType == QLatin1String(NSSQLiteStoreType) && url.isLocalFile()) {
        path = url.toLocalFile();
    } else {
        setError(error, objectStoreError(kPersistentStoreInvalidTypeError,
                                         QStringLiteral("Unsupported store type \"%1\" or "
                                                        "location \"%2\".")
                                             .arg(storeType, url.toString())));
        return nullptr;
    }
    store_ = SqliteStore::open(path, model_, error);
    return store_.get();
}

}  // namespace clipmoor
