#include "platform/object_store/object_store_error.h"

namespace clipmoor {

Error objectStoreError(qint64 code, const QString& description, const QString& reason) {
    QVariantMap userInfo{{kLocalizedDescriptionKey, description}};
    if (!reason.isEmpty()) userInfo.insert(kLocalizedFailureReasonErrorKey, reason);
    return Error(kCocoaErrorDomain, code, userInfo);
}

Error objectStoreError(qint64 code, const QString& description, const QString& reason,
                       const Error& underlying) {
    Error error = objectStoreError(code, description, reason);
    error.setUnderlyingError(underlying);
    return error;
}

}  // namespace clipmoor
