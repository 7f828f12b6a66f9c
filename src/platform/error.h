#pragma once

#include <QMetaType>
#include <QString>
#include <QVariantMap>

#include <memory>

namespace clipmoor {

// Keys of an error's user info.
inline constexpr const char* kLocalizedDescriptionKey = "NSLocalizedDescription";
inline constexpr const char* kLocalizedFailureReasonErrorKey = "NSLocalizedFailureReason";

// Domains shared by several parts of the program.
inline constexpr const char* kPOSIXErrorDomain = "NSPOSIXErrorDomain";
inline constexpr const char* kURLErrorDomain = "NSURLErrorDomain";

// A failure report: a domain, an integer code and a user-info map, with an optional
// underlying error that caused it. Errors are plain values and may cross threads.
class Error {
public:
    Error() = default;
    Error(QString domain, qint64 code, QVariantMap userInfo = {});

    static Error withFailureReason(const QString& domain, qint64 code, const QString& reason);
    static Error posix(int errnoValue, const QString& context = {});

    const QString& domain() const { return domain_; }
    qint64 code() const { return code_; }
    const QVariantMap& userInfo() const { return userInfo_; }

    QString failureReason() const;
    // The description the user sees: the explicit description if there is one, otherwise a
    // text made from the domain and code.
    QString localizedDescription() const;

    void setUserInfoValue(const QString& key, const QVariant& value) {
        userInfo_.insert(key, value);
    }

    const Error* underlyingError() const { return underlying_.get(); }
    void setUnderlyingError(const Error& error);

    bool isValid() const { return !domain_.isEmpty(); }
    bool is(const QString& domain, qint64 code) const { return domain_ == domain && code_ == code; }

    // "domain code: description (reason)", for log lines.
    QString debugDescription() const;

private:
    QString domain_;
    qint64 code_ = 0;
    QVariantMap userInfo_;
    std::shared_ptr<const Error> underlying_;
};

}  // namespace clipmoor

Q_DECLARE_METATYPE(clipmoor::Error)
