#pragma once

#include <QString>

#include "platform/error.h"

namespace clipmoor {

// The object store reports its failures in the platform's general domain, with the codes the
// rest of the program may test for. Failures of SQLite itself travel as underlying errors in
// kSQLiteErrorDomain, with SQLite's extended result code.
inline constexpr const char* kCocoaErrorDomain = "NSCocoaErrorDomain";
inline constexpr const char* kSQLiteErrorDomain = "NSSQLiteErrorDomain";

enum ObjectStoreErrorCode : qint64 {
    // The file is not a database at all (or is damaged beyond reading).
    kFileReadCorruptFileError = 259,
    // No record with the given identity exists (any more).
    kManagedObjectReferentialIntegrityError = 133000,
    // A store type other than the ones this store understands.
    kPersistentStoreInvalidTypeError = 134000,
    // Writing the pending changes failed; they stay pending.
    kPersistentStoreSaveError = 134030,
    // A request the store cannot answer (unknown entity, no store).
    kCoreDataError = 134060,
    // The store file could not be opened or read (locked, unreadable, a folder...).
    kPersistentStoreOpenError = 134080,
    // The file is a database, but not a store of this model.
    kPersistentStoreIncompatibleVersionHashError = 134100,
};

Error objectStoreError(qint64 code, const QString& description, const QString& reason = {});
Error objectStoreError(qint64 code, const QString& description, const QString& reason,
                       const Error& underlying);

// Assigns `value` through an optional error out-parameter.
inline void setError(Error* error, const Error& value) {
    if (error) *error = value;
}

}  // namespace clipmoor
