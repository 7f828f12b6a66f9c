#include "platform/error.h"

#include <cstring>

namespace clipmoor {

Error::Error(QString domain, qint64 code, QVariantMap userInfo)
    : domain_(std::move(domain)), code_(code), userInfo_(std::move(userInfo)) {}

Error Error::withFailureReason(const QString& domain, qint64 code, const QString& reason) {
    return Error(domain, code, {{kLocalizedFailureReasonErrorKey, reason}});
}

Error Error::posix(int errnoValue, const QString& context) {
    QString description = QString::fromLocal8Bit(std::strerror(errnoValue));
    if (!context.isEmpty()) description = context + QStringLiteral(": ") + description;
    return Error(kPOSIXErrorDomain, errnoValue, {{kLocalizedDescriptionKey, description}});
}

QString Error::failureReason() const {
    return userInfo_.value(kLocalizedFailureReasonErrorKey).toString();
}

QString Error::localizedDescription() const {
    const QString description = userInfo_.value(kLocalizedDescriptionKey).toString();
    if (!description.isEmpty()) return description;
    return QStringLiteral("The operation couldn't be completed. (%1 error %2.)")
        .arg(domain_)
        .arg(code_);
}

void Error::setUnderlyingError(const Error& error) {
    underlying_ = std::make_shared<const Error>(error);
}

QString Error::debugDescription() const {
    QString text = QStringLiteral("%1 %2: %3").arg(domain_).arg(code_).arg(localizedDescription());
    const QString reason = failureReason();
    if (!reason.isEmpty()) text += QStringLiteral(" (%1)").arg(reason);
    if (underlying_) text += QStringLiteral(" <- ") + underlying_->debugDescription();
    return text;
}

}  // namespace clipmoor
