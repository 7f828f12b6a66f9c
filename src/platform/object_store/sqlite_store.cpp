#include "platform/object_store/sqlite_store.h"

#include <QFile>
#include <QFileInfo>
#include <QUuid>

#include <algorithm>
#include <limits>

#include <sqlite3.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/object_store/object_store_error.h"
#include "platform/object_store/sqlite_database.h"
#include "platform/object_store/sqlite_store_schema.h"

namespace clipmoor {

namespace schema = store_schema;

namespace {

constexpr char kInMemoryPath[] = ":memory:";
constexpr char kSqliteMagic[] = "SQLite format 3";  // followed by a NUL: 16 bytes

bool isInMemory(const QString& path) {
    return path == QLatin1String(kInMemoryPath);
}

// Looks at the file before SQLite does: a folder, an unreadable file or a non-empty file that
// does not start with SQLite's header is refused without handing it to the library at all.
bool checkFileBeforeOpening(const QString& path, Error* error) {
    const QFileInfo info(path);
    const QString fileName = info.fileName();
    if (!info.exists()) return true;
    if (info.isDir()) {
        setError(error, objectStoreError(kPersistentStoreOpenError,
                                         QStringLiteral("The store file \"%1\" could not be "
                                                        "opened.")
                                             .arg(fileName),
                                         QStringLiteral("A folder is in its place.")));
        return false;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        setError(error, objectStoreError(kPersistentStoreOpenError,
                                         QStringLiteral("The store file \"%1\" could not be "
                                                        "opened.")
                                             .arg(fileName),
                                         file.errorString()));
        return false;
    }
    const QByteArray header = file.read(16);
    if (header.isEmpty()) return true;  // an empty file is an empty database
    if (header != QByteArray(kSqliteMagic, 16)) {
        setError(error,
                 schema::openError(
                     Error(kSQLiteErrorDomain, SQLITE_NOTADB,
                           {{kLocalizedDescriptionKey, QStringLiteral("file is not a database")}}),
                     fileName));
        return false;
    }
    return true;
}

// The saved list is the user's alone. A new file is made here with mode 0600 rather than by
// SQLite with the umask; its journal files take their mode from it.
void createPrivateFileIfMissing(const QString& path) {
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0) ::close(fd);  // any failure is SQLite's to report when it opens the file
}

// A store file of this user that others may read (made by an earlier version) is narrowed,
// with its journal files, once it is known to be a store file.
void narrowToOwner(const QString& path) {
    for (const char* suffix : {"", "-wal", "-shm"}) {
        const QByteArray native = QFile::encodeName(path) + suffix;
        struct stat status {};
        if (::lstat(native.constData(), &status) == 0 && S_ISREG(status.st_mode) &&
            status.st_uid == ::geteuid() && (status.st_mode & 077) != 0)
            ::chmod(native.constData(), status.st_mode & 0600);
    }
}

}  // namespace

SqliteStore::SqliteStore(QString path, std::shared_ptr<const ManagedObjectModel> model,
                         std::unique_ptr<SqliteDatabase> database)
    : path_(std::move(path)), model_(std::move(model)), database_(std::move(database)) {}

SqliteStore::~SqliteStore() = default;

std::unique_ptr<SqliteStore> SqliteStore::open(const QString& path,
                                               std::shared_ptr<const ManagedObjectModel> model,
                                               Error* error) {
    if (!isInMemory(path)) {
        if (!checkFileBeforeOpening(path, error)) return nullptr;
        createPrivateFileIfMissing(path);
    }
    Error sqliteError;
    auto database = SqliteDatabase::open(path, &sqliteError);
    if (!database) {
        setError(error, schema::openError(sqliteError, QFileInfo(path).fileName()));
        return nullptr;
    }
    // Until the file is known to be ours, closing the connection must not write to it.
    database->setCheckpointOnClose(false);
    database->setBusyTimeout(kBusyTimeoutMilliseconds);
    std::unique_ptr<SqliteStore> store(
        new SqliteStore(path, std::move(model), std::move(database)));
    if (!store->prepareFile(error) || !store->readMetadata(error)) return nullptr;
    if (!isInMemory(path)) narrowToOwner(path);
    store->database_->setCheckpointOnClose(true);
    return store;
}

bool SqliteStore::prepareFile(Error* error) {
    const QString fileName = QFileInfo(path_).fileName();
    const auto shape = schema::inspect(*database_, *model_, kApplicationId, fileName, error);
    if (!shape) return false;
    if (database_->isReadOnly()) {
        setError(error, objectStoreError(kPersistentStoreOpenError,
                                         QStringLiteral("The store file \"%1\" could not be "
                                                        "opened.")
                                             .arg(fileName),
                                         QStringLiteral("The file is read-only.")));
        return false;
    }
    if (*shape == schema::FileShape::Empty && !createSchema(fileName, error)) return false;
    // Only now, with the file known to be ours, may the journal mode change.
    if (!isInMemory(path_))
        database_->execute(QStringLiteral("PRAGMA journal_mode = WAL"), nullptr);
    return true;
}

bool SqliteStore::createSchema(const QString& fileName, Error* error) {
    Error sqliteError;
    if (!database_->execute(QStringLiteral("BEGIN IMMEDIATE"), &sqliteError)) {
        setError(error, schema::openError(sqliteError, fileName));
        return false;
    }
    // Another program may have written to the file since it was inspected. (The page count
    // is no help here: the open write transaction has already allocated the first page.)
    const bool stillEmpty =
        database_->scalar(QStringLiteral("SELECT count(*) FROM sqlite_schema"), nullptr)
                .toLongLong() == 0 &&
        database_->scalar(QStringLiteral("PRAGMA application_id"), nullptr).toLongLong() == 0;
    if (!stillEmpty) {
        database_->execute(QStringLiteral("ROLLBACK"), nullptr);
        const auto shape = schema::inspect(*database_, *model_, kApplicationId, fileName, error);
        if (!shape) return false;
        if (*shape == schema::FileShape::Compatible) return true;
        setError(error, schema::incompatibleError(
                            fileName, QStringLiteral("The file changed while it was opened.")));
        return false;
    }
    if (!writeNewSchema(&sqliteError) ||
        !database_->execute(QStringLiteral("COMMIT"), &sqliteError)) {
        database_->execute(QStringLiteral("ROLLBACK"), nullptr);
        setError(error, schema::openError(sqliteError, fileName));
        return false;
    }
    return true;
}

bool SqliteStore::writeNewSchema(Error* sqliteError) {
    for (const QString& statement : schema::createStatements(*model_, kApplicationId))
        if (!database_->execute(statement, sqliteError)) return false;
    SqliteStatement insert =
        database_->prepare(QStringLiteral("INSERT INTO %1 (key, value) VALUES (?, ?)")
                               .arg(schema::quoted(schema::kMetadataTable)),
                           sqliteError);
    if (!insert.isValid()) return false;
    const std::pair<const char*, QVariant> metadata[] = {
        {schema::kStoreFormatKey, QString::fromLatin1(schema::kFormatVersion)},
        {schema::kModelNameKey, model_->name()},
        {schema::kModelVersionHashKey, model_->versionHash()},
        {schema::kStoreIdentifierKey, QUuid::createUuid().toString(QUuid::WithoutBraces)},
        {schema::kHighWaterKey, QVariant::fromValue<qint64>(0)}};
    for (const auto& [key, value] : metadata) {
        insert.reset();
        insert.bind(1, QString::fromLatin1(key));
        insert.bind(2, value);
        if (insert.step() != SqliteStatement::Step::Done) {
            *sqliteError = database_->lastError();
            return false;
        }
    }
    return true;
}

bool SqliteStore::readMetadata(Error* error) {
    const QString fileName = QFileInfo(path_).fileName();
    Error sqliteError;
    SqliteStatement metadata = database_->prepare(
        QStringLiteral("SELECT key, value FROM %1").arg(schema::quoted(schema::kMetadataTable)),
        &sqliteError);
    if (!metadata.isValid()) {
        setError(error, schema::openError(sqliteError, fileName));
        return false;
    }
    qint64 highWater = 0;
    while (metadata.step() == SqliteStatement::Step::Row) {
        const QString key = metadata.text(0);
        if (key == QLatin1String(schema::kStoreIdentifierKey)) identifier_ = metadata.text(1);
        if (key == QLatin1String(schema::kHighWaterKey)) highWater = metadata.int64(1);
    }
    for (const EntityDescription* root : schema::rootEntities(*model_)) {
        const QVariant maximum = database_->scalar(
            QStringLiteral("SELECT max(%1) FROM %2")
                .arg(schema::quoted(schema::kKeyColumn), schema::tableName(*root)),
            &sqliteError);
        highWater = std::max(highWater, maximum.toLongLong());
    }
    if (highWater == std::numeric_limits<qint64>::max()) {
        // No key is left for a new record: only a damaged or forged file gets here.
        setError(error, schema::openError(
                            Error(kSQLiteErrorDomain, SQLITE_CORRUPT,
                                  {{kLocalizedDescriptionKey,
                                    QStringLiteral("a record key is at the largest value")}}),
                            fileName));
        return false;
    }
    lastPrimaryKey_ = highWater;
    return true;
}

std::optional<qint64> SqliteStore::allocatePrimaryKey() {
    if (lastPrimaryKey_ == std::numeric_limits<qint64>::max()) return std::nullopt;
    return ++lastPrimaryKey_;
}

std::optional<std::vector<StoreRow>> SqliteStore::fetchRows(const EntityDescription& entity,
                                                            Error* error) {
    return selectRows(entity, std::nullopt, error);
}

std::optional<StoreRow> SqliteStore::fetchRow(const EntityDescription& entity, qint64 primaryKey,
                                              Error* error) {
    auto rows = selectRows(entity, primaryKey, error);
    if (!rows || rows->empty()) return std::nullopt;
    return std::move(rows->front());
}

std::optional<std::vector<StoreRow>> SqliteStore::selectRows(const EntityDescription& entity,
                                                             std::optional<qint64> primaryKey,
                                                             Error* error) {
    const EntityDescription& root = entity.rootEntity();
    const std::vector<const EntityDescription*> members = entity.selfAndDescendants();
    QStringList placeholders;
    for (std::size_t i = 0; i < members.size(); ++i) placeholders << QStringLiteral("?");
    QString sql =
        QStringLiteral("SELECT %1 FROM %2 WHERE %3 IN (%4)")
            .arg(schema::selectList(root), schema::tableName(root),
                 schema::quoted(schema::kEntityColumn), placeholders.join(QLatin1Char(',')));
    if (primaryKey) sql += QStringLiteral(" AND %1 = ?").arg(schema::quoted(schema::kKeyColumn));
    sql += QStringLiteral(" ORDER BY %1").arg(schema::quoted(schema::kKeyColumn));

    Error sqliteError;
    SqliteStatement select = database_->prepare(sql, &sqliteError);
    if (!select.isValid()) {
        setError(error, failure(kCoreDataError, QStringLiteral("The store could not be read."),
                                sqliteError));
        return std::nullopt;
    }
    int index = 1;
    for (const EntityDescription* member : members) select.bind(index++, member->name());
    if (primaryKey) select.bind(index, QVariant::fromValue(*primaryKey));

    // What a row of each entity holds, worked out once rather than per row: for each of the
    // entity's attributes, the column it is read from.
    const std::vector<AttributeDescription> columns = schema::familyColumns(root);
    struct RowShape {
        QByteArray utf8Name;
        QString name;
        std::size_t attributeCount;
        std::vector<std::pair<std::size_t, std::size_t>> columns;  // column, attribute slot
    };
    std::vector<RowShape> shapes;
    for (const EntityDescription* member : members) {
        RowShape shape{member->name().toUtf8(), member->name(), member->attributes().size(), {}};
        for (std::size_t c = 0; c < columns.size(); ++c) {
            const int slot = member->attributeIndex(columns[c].name);
            if (slot >= 0) shape.columns.emplace_back(c, static_cast<std::size_t>(slot));
        }
        shapes.push_back(std::move(shape));
    }
    std::vector<StoreRow> rows;
    std::vector<std::pair<std::size_t, QByteArrayView>> texts;  // slot, text of the current row
    SqliteStatement::Step step;
    while ((step = select.step()) == SqliteStatement::Step::Row) {
        const QByteArrayView entityName = select.utf8(1);
        const auto shape = std::find_if(shapes.begin(), shapes.end(), [&](const RowShape& s) {
            return s.utf8Name == entityName;
        });
        if (shape == shapes.end()) continue;  // the IN clause names only these entities
        StoreRow row{
            select.int64(0), shape->name, std::vector<QVariant>(shape->attributeCount), {}};
        // Texts are kept as stored, in one buffer per row, and decoded when first read.
        texts.clear();
        qsizetype textBytes = 0;
        for (const auto& [c, slot] : shape->columns) {
            const int column = static_cast<int>(c) + 2;
            if (columns[c].type == AttributeType::String && select.isText(column)) {
                texts.emplace_back(slot, select.utf8(column));
                textBytes += texts.back().second.size();
            } else {
                row.values[slot] = schema::decode(columns[c], select, column);
            }
        }
        row.text.reserve(textBytes, shape->attributeCount);
        for (const auto& [slot, utf8] : texts) row.text.add(slot, utf8);
        rows.push_back(std::move(row));
    }
    if (step == SqliteStatement::Step::Failed) {
        setError(error, failure(kCoreDataError, QStringLiteral("The store could not be read."),
                                database_->lastError()));
        return std::nullopt;
    }
    return rows;
}

bool SqliteStore::inTransaction(const QString& failureDescription,
                                const std::function<std::optional<Error>()>& work, Error* error) {
    const auto fail = [&](const Error& sqliteError) {
        database_->execute(QStringLiteral("ROLLBACK"), nullptr);
        setError(error, failure(kPersistentStoreSaveError, failureDescription, sqliteError));
        return false;
    };
    Error sqliteError;
    if (!database_->execute(QStringLiteral("BEGIN IMMEDIATE"), &sqliteError))
        return fail(sqliteError);
    if (const std::optional<Error> workError = work()) return fail(*workError);
    if (!database_->execute(QStringLiteral("COMMIT"), &sqliteError)) return fail(sqliteError);
    return true;
}

bool SqliteStore::save(const std::vector<StoreWrite>& writes, Error* error) {
    return inTransaction(
        QStringLiteral("The changes could not be saved."),
        [&]() -> std::optional<Error> {
            Error sqliteError;
            for (const StoreWrite& change : writes)
                if (!write(change, &sqliteError)) return sqliteError;
            // Every key handed out so far is recorded, so a later run never hands it out again.
            SqliteStatement highWater = database_->prepare(
                QStringLiteral("UPDATE %1 SET value = max(CAST(value AS INTEGER), ?) WHERE key = ?")
                    .arg(schema::quoted(schema::kMetadataTable)),
                &sqliteError);
            if (!highWater.isValid()) return sqliteError;
            highWater.bind(1, QVariant::fromValue<qint64>(lastPrimaryKey_));
            highWater.bind(2, QString::fromLatin1(schema::kHighWaterKey));
            if (highWater.step() != SqliteStatement::Step::Done) return database_->lastError();
            return std::nullopt;
        },
        error);
}

bool SqliteStore::updateRow(const EntityDescription& entity, qint64 primaryKey,
                            const QVariantMap& values, Error* error) {
    return inTransaction(
        QStringLiteral("The record could not be written."),
        [&]() -> std::optional<Error> {
            Error sqliteError;
            if (!write({StoreWrite::Kind::Update, &entity, primaryKey, values}, &sqliteError))
                return sqliteError;
            if (!values.isEmpty() && database_->changes() != 1) {
                return Error(
                    kSQLiteErrorDomain, SQLITE_NOTFOUND,
                    {{kLocalizedDescriptionKey, QStringLiteral("the record is not stored")}});
            }
            return std::nullopt;
        },
        error);
}

bool SqliteStore::write(const StoreWrite& change, Error* error) {
    const QString table = schema::tableName(*change.entity);
    const QString key = schema::quoted(schema::kKeyColumn);
    QStringList columns;
    QVariantList values;
    for (const AttributeDescription& attribute : change.entity->attributes()) {
        if (change.kind == StoreWrite::Kind::Update && !change.values.contains(attribute.name))
            continue;
        columns << schema::quoted(attribute.name);
        values << schema::encode(attribute, change.values.value(attribute.name));
    }
    QString sql;
    switch (change.kind) {
        case StoreWrite::Kind::Insert: {
            QStringList placeholders(columns.size() + 2, QStringLiteral("?"));
            sql = QStringLiteral("INSERT INTO %1 (%2, %3%4) VALUES (%5)")
                      .arg(table, key, schema::quoted(schema::kEntityColumn),
                           columns.isEmpty()
                               ? QString()
                               : QStringLiteral(", ") + columns.join(QStringLiteral(", ")),
                           placeholders.join(QStringLiteral(", ")));
            values.prepend(change.entity->name());
            values.prepend(QVariant::fromValue(change.primaryKey));
            break;
        }
        case StoreWrite::Kind::Update:
            if (columns.isEmpty()) return true;
            sql = QStringLiteral("UPDATE %1 SET %2 = ? WHERE %3 = ?")
                      .arg(table, columns.join(QStringLiteral(" = ?, ")), key);
            values.append(QVariant::fromValue(change.primaryKey));
            break;
        case StoreWrite::Kind::Delete:
            sql = QStringLiteral("DELETE FROM %1 WHERE %2 = ?").arg(table, key);
            values = {QVariant::fromValue(change.primaryKey)};
            break;
    }
    // A save repeats the same few statements for every record, so they are prepared once.
    SqliteStatement* const statement = database_->cachedStatement(sql, error);
    if (!statement) return false;
    for (int i = 0; i < values.size(); ++i) statement->bind(i + 1, values[i]);
    const bool done = statement->step() == SqliteStatement::Step::Done;
    if (!done) setError(error, database_->lastError());
    statement->reset();
    return done;
}

Error SqliteStore::failure(qint64 code, const QString& description, const Error& underlying) const {
    return objectStoreError(code, description, {}, underlying);
}

}  // namespace clipmoor
