#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>

#include <optional>
#include <vector>

#include "platform/error.h"
#include "platform/object_store/managed_object_model.h"

namespace clipmoor {

class SqliteDatabase;
class SqliteStatement;

// The layout of a store file: table and column names, the statements that create them,
// value encoding, and the check that an existing file is a store of a given model.
namespace store_schema {

inline constexpr const char* kMetadataTable = "clipmoor_store_metadata";
inline constexpr const char* kKeyColumn = "_pk";
inline constexpr const char* kEntityColumn = "_entity";
inline constexpr const char* kFormatVersion = "1";
inline constexpr const char* kStoreFormatKey = "store_format";
inline constexpr const char* kModelNameKey = "model_name";
inline constexpr const char* kModelVersionHashKey = "model_version_hash";
inline constexpr const char* kStoreIdentifierKey = "store_identifier";
inline constexpr const char* kHighWaterKey = "primary_key_high_water";

QString quoted(const QString& identifier);
QString tableName(const EntityDescription& entity);  // the family's table, quoted
// Every attribute of the entity's family, each once.
std::vector<AttributeDescription> familyColumns(const EntityDescription& root);
// "_pk", "_entity" and the family's columns, quoted and comma-separated.
QString selectList(const EntityDescription& root);
std::vector<const EntityDescription*> rootEntities(const ManagedObjectModel& model);

// Statements that create the tables of a new store (metadata rows excluded).
QStringList createStatements(const ManagedObjectModel& model, qint32 applicationId);

// Attribute values in the form SQLite keeps them, and back.
QVariant encode(const AttributeDescription& attribute, const QVariant& value);
QVariant decode(const AttributeDescription& attribute, const SqliteStatement& row, int column);

enum class FileShape { Empty, Compatible };

// Reads (never writes) the open file and tells whether it is a new, empty database or a store
// of `model`; anything else is an error: not a database, locked, or a database of another
// shape. Error descriptions name `fileName`.
std::optional<FileShape> inspect(SqliteDatabase& database, const ManagedObjectModel& model,
                                 qint32 applicationId, const QString& fileName, Error* error);

// The object store's error for a failed SQLite call while opening `fileName`.
Error openError(const Error& sqliteError, const QString& fileName);
Error incompatibleError(const QString& fileName, const QString& reason,
                        const std::optional<Error>& underlying = {});

}  // namespace store_schema
}  // namespace clipmoor
