#pragma once

#include <QString>
#include <QVariantMap>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "platform/error.h"
#include "platform/object_store/managed_object_model.h"
#include "platform/object_store/stored_text.h"

namespace clipmoor {

class SqliteDatabase;

// One stored record as the store file holds it.
struct StoreRow {
    qint64 primaryKey = 0;
    QString entityName;
    // One slot per attribute of the row's entity, in the entity's order; invalid where the
    // row has no value or its text is in `text`, still undecoded.
    std::vector<QVariant> values;
    StoredText text;
};

// One change to write.
struct StoreWrite {
    enum class Kind { Insert, Update, Delete };
    Kind kind;
    const EntityDescription* entity;
    qint64 primaryKey;
    QVariantMap values;  // Insert: every attribute with a value; Update: the changed ones
};

// The store file of one model: an SQLite database in WAL mode holding one table per entity
// family, a metadata table with the model's version hash, the store's identifier and the
// highest record key ever handed out, and the file's application id.
//
// A file is only ever written once it has been recognised as a store of this model (or is a
// brand-new, empty file): anything else is reported and left exactly as it was.
class SqliteStore {
public:
    // `path` may be ":memory:" for a store that lives only as long as this object.
    static std::unique_ptr<SqliteStore> open(const QString& path,
                                             std::shared_ptr<const ManagedObjectModel> model,
                                             Error* error);
    ~SqliteStore();

    const QString& path() const { return path_; }
    // A random identifier written when the file was created; part of every record identity.
    const QString& identifier() const { return identifier_; }
    const ManagedObjectModel& model() const { return *model_; }

    // A key no record of this store has ever had, in this run or an earlier one; none once
    // every key up to the largest has been handed out.
    std::optional<qint64> allocatePrimaryKey();

    // The rows of `entity` and its sub-entities, in key order (the order of insertion).
    std::optional<std::vector<StoreRow>> fetchRows(const EntityDescription& entity, Error* error);
    // The row with that key if it is of `entity` or one of its sub-entities.
    std::optional<StoreRow> fetchRow(const EntityDescription& entity, qint64 primaryKey,
                                     Error* error);

    // Writes everything in one transaction; on failure nothing of it is written. Waits only
    // briefly for a lock another connection holds.
    bool save(const std::vector<StoreWrite>& writes, Error* error);
    // Writes `values` into the one stored row with that key, in a transaction of its own.
    // Fails, writing nothing, when there is no such row of `entity`'s family.
    bool updateRow(const EntityDescription& entity, qint64 primaryKey, const QVariantMap& values,
                   Error* error);

    static constexpr int kBusyTimeoutMilliseconds = 100;
    static constexpr qint32 kApplicationId = 0x436C6D72;  // "Clmr"

private:
    SqliteStore(QString path, std::shared_ptr<const ManagedObjectModel> model,
                std::unique_ptr<SqliteDatabase> database);
    bool prepareFile(Error* error);
    bool createSchema(const QString& fileName, Error* error);
    bool writeNewSchema(Error* sqliteError);
    bool readMetadata(Error* error);
    std::optional<std::vector<StoreRow>> selectRows(const EntityDescription& entity,
                                                    std::optional<qint64> primaryKey, Error* error);
    bool write(const StoreWrite& change, Error* error);
    // Runs `work` in one write transaction: committed when it gives no error, rolled back and
    // reported as a save failure with `failureDescription` otherwise.
    bool inTransaction(const QString& failureDescription,
                       const std::function<std::optional<Error>()>& work, Error* error);
    Error failure(qint64 code, const QString& description, const Error& underlying) const;

    QString path_;
    std::shared_ptr<const ManagedObjectModel> model_;
    std::unique_ptr<SqliteDatabase> database_;
    QString identifier_;
    qint64 lastPrimaryKey_ = 0;  // the highest key handed out so far
};

}  // namespace clipmoor
