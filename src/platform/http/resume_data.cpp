#include "platform/http/resume_data.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>

namespace clipmoor {

namespace {
constexpr const char* kFormatName = "clipmoor-resume-data";

std::optional<qint64> integerField(const QJsonObject& object, const char* key) {
    const QJsonValue value = object.value(QLatin1String(key));
    if (!value.isDouble()) return std::nullopt;
    const double number = value.toDouble();
    const auto integer = static_cast<qint64>(number);
    if (static_cast<double>(integer) != number) return std::nullopt;
    return integer;
}
}  // namespace

QByteArray ResumeData::encode() const {
    QJsonObject object{
        {"format", kFormatName},
        {"version", kVersion},
        {"url", QString::fromUtf8(url.toEncoded())},
        {"partialFile", partialFile},
        {"bytes", bytesOnDisk},
        {"etag", QString::fromLatin1(entityTag)},
        {"lastModified", QString::fromLatin1(lastModified)},
        {"expectedTotal", expectedTotal},
    };
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

std::optional<ResumeData> ResumeData::decode(const QByteArray& data) {
    if (data.isEmpty() || data.size() > kMaximumEncodedSize) return std::nullopt;
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(data, &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject()) return std::nullopt;
    const QJsonObject object = document.object();
    if (object.value("format").toString() != QLatin1String(kFormatName)) return std::nullopt;
    if (integerField(object, "version") != kVersion) return std::nullopt;

    ResumeData result;
    result.url = QUrl::fromEncoded(object.value("url").toString().toUtf8(), QUrl::StrictMode);
    const QString scheme = result.url.scheme();
    if (!result.url.isValid() || (scheme != "http" && scheme != "https")) return std::nullopt;

    result.partialFile = object.value("partialFile").toString();
    if (result.partialFile.isEmpty() || !QDir::isAbsolutePath(result.partialFile))
        return std::nullopt;

    const auto bytes = integerField(object, "bytes");
    const auto expected = integerField(object, "expectedTotal");
    if (!bytes || *bytes < 0 || !expected || *expected < -1) return std::nullopt;
    result.bytesOnDisk = *bytes;
    result.expectedTotal = *expected;

    result.entityTag = object.value("etag").toString().toLatin1();
    result.lastModified = object.value("lastModified").toString().toLatin1();
    // Without a validator a resumed request could splice two different files together.
    if (result.entityTag.isEmpty() && result.lastModified.isEmpty()) return std::nullopt;
    return result;
}

}  // namespace clipmoor
