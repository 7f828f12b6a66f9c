#include "platform/object_store/sqlite_store_schema.h"

#include <QDateTime>

#include <sqlite3.h>

#include "platform/object_store/object_store_error.h"
#include "platform/object_store/sqlite_database.h"

namespace clipmoor::store_schema {

namespace {

QString columnType(AttributeType type) {
    switch (type) {
        case AttributeType::String:
            return QStringLiteral("TEXT");
        case AttributeType::Double:
            return QStringLiteral("REAL");
        case AttributeType::Binary:
            return QStringLiteral("BLOB");
        default:
            return QStringLiteral("INTEGER");
    }
}

}  // namespace

QString quoted(const QString& identifier) {
    QString escaped = identifier;
    escaped.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + escaped + QLatin1Char('"');
}

QString tableName(const EntityDescription& entity) {
    return quoted(entity.rootEntity().name());
}

std::vector<AttributeDescription> familyColumns(const EntityDescription& root) {
    std::vector<AttributeDescription> columns;
    for (const EntityDescription* member : root.selfAndDescendants())
        for (const AttributeDescription& attribute : member->attributes())
            if (std::none_of(columns.begin(), columns.end(),
                             [&](const auto& c) { return c.name == attribute.name; }))
                columns.push_back(attribute);
    return columns;
}

QString selectList(const EntityDescription& root) {
    QStringList names{quoted(kKeyColumn), quoted(kEntityColumn)};
    for (const AttributeDescription& column : familyColumns(root)) names << quoted(column.name);
    return names.join(QStringLiteral(", "));
}

std::vector<const EntityDescription*> rootEntities(const ManagedObjectModel& model) {
    std::vector<const EntityDescription*> roots;
    for (const auto& entity : model.entities())
        if (!entity->superentity()) roots.push_back(entity.get());
    return roots;
}

QStringList createStatements(const ManagedObjectModel& model, qint32 applicationId) {
    QStringList statements{QStringLiteral("PRAGMA application_id = %1").arg(applicationId),
                           QStringLiteral("CREATE TABLE %1 (key TEXT PRIMARY KEY NOT NULL, value)")
                               .arg(quoted(kMetadataTable))};
    for (const EntityDescription* root : rootEntities(model)) {
        QStringList columns{
            QStringLiteral("%1 INTEGER PRIMARY KEY NOT NULL").arg(quoted(kKeyColumn)),
            QStringLiteral("%1 TEXT NOT NULL").arg(quoted(kEntityColumn))};
        for (const AttributeDescription& column : familyColumns(*root))
            columns << quoted(column.name) + QLatin1Char(' ') + columnType(column.type);
        statements << QStringLiteral("CREATE TABLE %1 (%2)")
                          .arg(tableName(*root), columns.join(QStringLiteral(", ")));
    }
    return statements;
}

QVariant encode(const AttributeDescription& attribute, const QVariant& value) {
    if (!value.isValid()) return {};
    if (attribute.type == AttributeType::Date)
        return QVariant::fromValue<qint64>(value.toDateTime().toMSecsSinceEpoch());
    return value;
}

QVariant decode(const AttributeDescription& attribute, const SqliteStatement& row, int column) {
    if (row.isNull(column)) return {};
    switch (attribute.type) {
        case AttributeType::String:
            return row.text(column);
        case AttributeType::Integer16:
        case AttributeType::Integer32:
        case AttributeType::Integer64:
            return QVariant::fromValue<qlonglong>(row.int64(column));
        case AttributeType::Double:
            return row.real(column);
        case AttributeType::Boolean:
            return row.int64(column) != 0;
        case AttributeType::Binary:
            return row.blob(column);
        case AttributeType::Date:
            return QDateTime::fromMSecsSinceEpoch(row.int64(column), Qt::UTC);
    }
    return {};
}

Error openError(const Error& sqliteError, const QString& fileName) {
    const int primary = static_cast<int>(sqliteError.code() & 0xff);
    if (primary == SQLITE_NOTADB || primary == SQLITE_CORRUPT)
        return objectStoreError(
            kFileReadCorruptFileError,
            QStringLiteral("The file \"%1\" couldn't be opened because it isn't in the correct "
                           "format.")
                .arg(fileName),
            {}, sqliteError);
    return objectStoreError(
        kPersistentStoreOpenError,
        QStringLiteral("The store file \"%1\" could not be opened.").arg(fileName), {},
        sqliteError);
}

Error incompatibleError(const QString& fileName, const QString& reason,
                        const std::optional<Error>& underlying) {
    const QString description =
        QStringLiteral(
            "The model used to open the store \"%1\" is incompatible with the one "
            "used to create the store.")
            .arg(fileName);
    if (underlying)
        return objectStoreError(kPersistentStoreIncompatibleVersionHashError, description, reason,
                                *underlying);
    return objectStoreError(kPersistentStoreIncompatibleVersionHashError, description, reason);
}

std::optional<FileShape> inspect(SqliteDatabase& database, const ManagedObjectModel& model,
                                 qint32 applicationId, const QString& fileName, Error* error) {
    Error sqliteError;
    // The first read of the file: a garbage file, a damaged one or a locked one fails here.
    const QVariant objectCount =
        database.scalar(QStringLiteral("SELECT count(*) FROM sqlite_schema"), &sqliteError);
    if (!objectCount.isValid()) {
        setError(error, openError(sqliteError, fileName));
        return std::nullopt;
    }
    const QVariant pageCount = database.scalar(QStringLiteral("PRAGMA page_count"), &sqliteError);
    if (!pageCount.isValid()) {
        setError(error, openError(sqliteError, fileName));
        return std::nullopt;
    }
    if (pageCount.toLongLong() == 0) return FileShape::Empty;

    const QVariant fileApplicationId =
        database.scalar(QStringLiteral("PRAGMA application_id"), &sqliteError);
    if (fileApplicationId.toLongLong() != applicationId) {
        setError(error, incompatibleError(fileName, QStringLiteral("The file is a database of "
                                                                   "another program.")));
        return std::nullopt;
    }

    SqliteStatement metadata = database.prepare(
        QStringLiteral("SELECT key, value FROM %1").arg(quoted(kMetadataTable)), &sqliteError);
    if (!metadata.isValid()) {
        setError(error, incompatibleError(fileName, QStringLiteral("The store has no metadata."),
                                          sqliteError));
        return std::nullopt;
    }
    QVariantMap values;
    SqliteStatement::Step step;
    while ((step = metadata.step()) == SqliteStatement::Step::Row)
        values.insert(metadata.text(0), metadata.value(1));
    if (step == SqliteStatement::Step::Failed) {
        setError(error, openError(database.lastError(), fileName));
        return std::nullopt;
    }
    if (values.value(kStoreFormatKey).toString() != QLatin1String(kFormatVersion) ||
        values.value(kStoreIdentifierKey).toString().isEmpty()) {
        setError(error, incompatibleError(fileName, QStringLiteral("The store was written in "
                                                                   "an unknown format.")));
        return std::nullopt;
    }
    if (values.value(kModelVersionHashKey).toString() != model.versionHash()) {
        setError(error, incompatibleError(fileName,
                                          QStringLiteral("The store was made for another version "
                                                         "of the data model \"%1\".")
                                              .arg(values.value(kModelNameKey).toString())));
        return std::nullopt;
    }
    for (const EntityDescription* root : rootEntities(model)) {
        const SqliteStatement probe = database.prepare(
            QStringLiteral("SELECT %1 FROM %2 LIMIT 0").arg(selectList(*root), tableName(*root)),
            &sqliteError);
        if (!probe.isValid()) {
            setError(error, incompatibleError(fileName,
                                              QStringLiteral("The table of \"%1\" does not match "
                                                             "the data model.")
                                                  .arg(root->name()),
                                              sqliteError));
            return std::nullopt;
        }
    }
    return FileShape::Compatible;
}

}  // namespace clipmoor::store_schema
