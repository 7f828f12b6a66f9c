#include "platform/http/resume_data.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cmath>

namespace clipmoor {

namespace {
constexpr const char* kFormatName = "clipmoor-resume-data";

std::optional<qint64> integerField(const QJsonObject& object, const char* key) {
    const QJsonValue value = object.value(QLatin1String(key));
    if (!value.isDouble()) return std::nullopt;
    const double number = value.toDouble();
    // Whole numbers that a double holds exactly; anything else (1e300, 0.5, NaN) is refused
    // before it is converted.
    constexpr double kLimit = 9007199254740992.0;  // 2^53
    if (!(number >= -kLimit && number <= kLimit) || number != std::trunc(number))
        return std::nullopt;
    return static_cast<qint64>(number);
}

// A validator goes back to the server in a header: printable ASCII only.
bool isHeaderSafe(const QByteArray& value) {
    return std::all_of(value.begin(), value.end(), [](char c) { return c >= 0x20 && c < 0x7F; });
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
    if (!result.url.isValid() || (scheme != "http" && scheme != "https") ||
        result.url.host().isEmpty())
        return std::nullopt;
    // An address that reads back as another one once written out again ("#" in a fragment
    // becomes "%23") would change with every pause.
    if (QUrl::fromEncoded(result.url.toEncoded(), QUrl::StrictMode) != result.url)
        return std::nullopt;

    result.partialFile = object.value("partialFile").toString();
    // The system would cut a path at a NUL and work on another file than the one checked.
    if (result.partialFile.isEmpty() || !QDir::isAbsolutePath(result.partialFile) ||
        result.partialFile.contains(QChar(u'\0')))
        return std::nullopt;

    const auto bytes = integerField(object, "bytes");
    const auto expected = integerField(object, "expectedTotal");
    if (!bytes || *bytes < 0 || !expected || *expected < -1) return std::nullopt;
    result.bytesOnDisk = *bytes;
    result.expectedTotal = *expected;

    result.entityTag = object.value("etag").toString().toLatin1();
    result.lastModified = object.value("lastModified").toString().toLatin1();
    if (!isHeaderSafe(result.entityTag) || !isHeaderSafe(result.lastModified)) return std::nullopt;
    // Without a validator a resumed request could splice two different files together.
    if (result.entityTag.isEmpty() && result.lastModified.isEmpty()) return std::nullopt;
    return result;
}

}  // namespace clipmoor
