#include "platform/object_store/sqlite_database.h"

#include <QFile>

#include <sqlite3.h>

#include "platform/object_store/object_store_error.h"

namespace clipmoor {

SqliteStatement::SqliteStatement(SqliteStatement&& other) noexcept
    : statement_(std::exchange(other.statement_, nullptr)) {}

SqliteStatement& SqliteStatement::operator=(SqliteStatement&& other) noexcept {
    if (this != &other) {
        sqlite3_finalize(statement_);
        statement_ = std::exchange(other.statement_, nullptr);
    }
    return *this;
}

SqliteStatement::~SqliteStatement() {
    sqlite3_finalize(statement_);
}

void SqliteStatement::bind(int index, const QVariant& value) {
    if (!value.isValid()) {
        sqlite3_bind_null(statement_, index);
        return;
    }
    switch (value.metaType().id()) {
        case QMetaType::Bool:
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::Short:
        case QMetaType::UShort:
        case QMetaType::LongLong:
        case QMetaType::ULongLong:
            sqlite3_bind_int64(statement_, index, value.toLongLong());
            return;
        case QMetaType::Double:
            sqlite3_bind_double(statement_, index, value.toDouble());
            return;
        case QMetaType::QByteArray: {
            const QByteArray bytes = value.toByteArray();
            sqlite3_bind_blob64(statement_, index, bytes.constData(),
                                static_cast<sqlite3_uint64>(bytes.size()), SQLITE_TRANSIENT);
            return;
        }
        default: {
            const QByteArray text = value.toString().toUtf8();
            sqlite3_bind_text64(statement_, index, text.constData(),
                                static_cast<sqlite3_uint64>(text.size()), SQLITE_TRANSIENT,
                                SQLITE_UTF8);
            return;
        }
    }
}

SqliteStatement::Step SqliteStatement::step() {
    switch (sqlite3_step(statement_)) {
        case SQLITE_ROW:
            return Step::Row;
        case SQLITE_DONE:
            return Step::Done;
        default:
            return Step::Failed;
    }
}

void SqliteStatement::reset() {
    sqlite3_reset(statement_);
    sqlite3_clear_bindings(statement_);
}

bool SqliteStatement::isNull(int column) const {
    return sqlite3_column_type(statement_, column) == SQLITE_NULL;
}

bool SqliteStatement::isText(int column) const {
    return sqlite3_column_type(statement_, column) == SQLITE_TEXT;
}

qint64 SqliteStatement::int64(int column) const {
    return sqlite3_column_int64(statement_, column);
}

double SqliteStatement::real(int column) const {
    return sqlite3_column_double(statement_, column);
}

QString SqliteStatement::text(int column) const {
    return QString::fromUtf8(utf8(column));
}

QByteArrayView SqliteStatement::utf8(int column) const {
    const auto* data = reinterpret_cast<const char*>(sqlite3_column_text(statement_, column));
    return QByteArrayView(data ? data : "", sqlite3_column_bytes(statement_, column));
}

QVariant SqliteStatement::value(int column) const {
    switch (sqlite3_column_type(statement_, column)) {
        case SQLITE_INTEGER:
            return QVariant::fromValue(int64(column));
        case SQLITE_FLOAT:
            return real(column);
        case SQLITE_TEXT:
            return text(column);
        case SQLITE_BLOB:
            return blob(column);
        default:
            return {};
    }
}

QByteArray SqliteStatement::blob(int column) const {
    const auto* data = static_cast<const char*>(sqlite3_column_blob(statement_, column));
    return QByteArray(data ? data : "", sqlite3_column_bytes(statement_, column));
}

std::unique_ptr<SqliteDatabase> SqliteDatabase::open(const QString& path, Error* error) {
    sqlite3* handle = nullptr;
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX;
    const int result =
        sqlite3_open_v2(QFile::encodeName(path).constData(), &handle, flags, nullptr);
    if (result != SQLITE_OK) {
        const int code = handle ? sqlite3_extended_errcode(handle) : result;
        const QString message = handle ? QString::fromUtf8(sqlite3_errmsg(handle))
                                       : QString::fromUtf8(sqlite3_errstr(result));
        sqlite3_close_v2(handle);
        setError(error, Error(kSQLiteErrorDomain, code,
                              {{kLocalizedDescriptionKey, message + QStringLiteral(": ") + path}}));
        return nullptr;
    }
    sqlite3_extended_result_codes(handle, 1);
    return std::unique_ptr<SqliteDatabase>(new SqliteDatabase(handle, path));
}

SqliteDatabase::~SqliteDatabase() {
    statements_.clear();  // finalised before the connection closes
    sqlite3_close_v2(handle_);
}

SqliteStatement* SqliteDatabase::cachedStatement(const QString& sql, Error* error) {
    auto found = statements_.find(sql);
    if (found == statements_.end()) {
        SqliteStatement statement = prepare(sql, error);
        if (!statement.isValid()) return nullptr;
        if (statements_.size() >= kMaxCachedStatements) statements_.clear();
        found = statements_.emplace(sql, std::move(statement)).first;
    }
    return &found->second;
}

SqliteStatement SqliteDatabase::prepare(const QString& sql, Error* error) {
    sqlite3_stmt* statement = nullptr;
    const QByteArray utf8 = sql.toUtf8();
    if (sqlite3_prepare_v2(handle_, utf8.constData(), static_cast<int>(utf8.size()), &statement,
                           nullptr) != SQLITE_OK) {
        sqlite3_finalize(statement);
        setError(error, lastError());
        return {};
    }
    return SqliteStatement(statement);
}

bool SqliteDatabase::execute(const QString& sql, Error* error) {
    if (sqlite3_exec(handle_, sql.toUtf8().constData(), nullptr, nullptr, nullptr) != SQLITE_OK) {
        setError(error, lastError());
        return false;
    }
    return true;
}

QVariant SqliteDatabase::scalar(const QString& sql, Error* error) {
    SqliteStatement statement = prepare(sql, error);
    if (!statement.isValid()) return {};
    switch (statement.step()) {
        case SqliteStatement::Step::Row:
            return statement.value(0);
        case SqliteStatement::Step::Done:
            return {};
        case SqliteStatement::Step::Failed:
            setError(error, lastError());
            return {};
    }
    return {};
}

Error SqliteDatabase::lastError() const {
    const QString message = QString::fromUtf8(sqlite3_errmsg(handle_));
    return Error(kSQLiteErrorDomain, sqlite3_extended_errcode(handle_),
                 {{kLocalizedDescriptionKey, message}});
}

int SqliteDatabase::lastErrorCode() const {
    return sqlite3_extended_errcode(handle_);
}

int SqliteDatabase::changes() const {
    return sqlite3_changes(handle_);
}

void SqliteDatabase::setBusyTimeout(int milliseconds) {
    sqlite3_busy_timeout(handle_, milliseconds);
}

void SqliteDatabase::setCheckpointOnClose(bool enabled) {
    sqlite3_db_config(handle_, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, enabled ? 0 : 1, nullptr);
}

bool SqliteDatabase::isReadOnly() const {
    return sqlite3_db_readonly(handle_, "main") == 1;
}

}  // namespace clipmoor
