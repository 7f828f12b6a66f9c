#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QVariant>

#include <memory>
#include <unordered_map>

#include "platform/error.h"

struct sqlite3;
struct sqlite3_stmt;

namespace clipmoor {

// One prepared SQLite statement. Move-only; finalised when destroyed.
class SqliteStatement {
public:
    enum class Step { Row, Done, Failed };

    SqliteStatement() = default;
    explicit SqliteStatement(sqlite3_stmt* statement) : statement_(statement) {}
    SqliteStatement(SqliteStatement&& other) noexcept;
    SqliteStatement& operator=(SqliteStatement&& other) noexcept;
    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;
    ~SqliteStatement();

    bool isValid() const { return statement_ != nullptr; }

    // Binds by 1-based index: an invalid variant is NULL, integers and booleans are INTEGER,
    // doubles REAL, byte arrays BLOB, everything else TEXT.
    void bind(int index, const QVariant& value);
    Step step();
    void reset();

    bool isNull(int column) const;
    bool isText(int column) const;
    qint64 int64(int column) const;
    double real(int column) const;
    QString text(int column) const;
    // The column's UTF-8 text without a copy; valid until the next step or reset.
    QByteArrayView utf8(int column) const;
    QByteArray blob(int column) const;
    // The column as SQLite stored it: qint64, double, QString, QByteArray or invalid for NULL.
    QVariant value(int column) const;

private:
    sqlite3_stmt* statement_ = nullptr;
};

// One connection to an SQLite file, used from the main thread only.
class SqliteDatabase {
public:
    // Opens (creating an empty file if there is none) for reading and writing. Nothing is read
    // or written yet.
    static std::unique_ptr<SqliteDatabase> open(const QString& path, Error* error);
    ~SqliteDatabase();
    SqliteDatabase(const SqliteDatabase&) = delete;
    SqliteDatabase& operator=(const SqliteDatabase&) = delete;

    SqliteStatement prepare(const QString& sql, Error* error);
    // The connection's own prepared statement for `sql`, prepared on first use and kept (a
    // few dozen at most), ready to be bound; reset it after use. None plus an error when it
    // cannot be prepared.
    SqliteStatement* cachedStatement(const QString& sql, Error* error);
    // Runs statements that return no rows.
    bool execute(const QString& sql, Error* error);
    // Runs a statement and returns the first column of its first row (invalid when none).
    QVariant scalar(const QString& sql, Error* error);

    // The connection's last failure, as an error of kSQLiteErrorDomain.
    Error lastError() const;
    int lastErrorCode() const;
    int changes() const;

    void setBusyTimeout(int milliseconds);
    // Whether closing the connection may fold the write-ahead log back into the file. Off
    // while the file has not been recognised as ours, so closing never writes to it.
    void setCheckpointOnClose(bool enabled);
    bool isReadOnly() const;
    const QString& path() const { return path_; }

private:
    SqliteDatabase(sqlite3* handle, QString path) : handle_(handle), path_(std::move(path)) {}
    static constexpr std::size_t kMaxCachedStatements = 64;
    sqlite3* handle_;
    QString path_;
    std::unordered_map<QString, SqliteStatement> statements_;
};

}  // namespace clipmoor
