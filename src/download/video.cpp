#include "download/video.h"

namespace clipmoor {

Video::Video(const ManagedObjectInit& init) : ManagedObject(init) {}

Video::~Video() = default;

QString Video::videoID() const {
    return stringValue(QStringLiteral("videoID"));
}
void Video::setVideoID(const QString& value) {
    setValue(value, QStringLiteral("videoID"));
}

QString Video::itag() const {
    return stringValue(QStringLiteral("itag"));
}
void Video::setItag(const QString& value) {
    setValue(value, QStringLiteral("itag"));
}

QString Video::title() const {
    return stringValue(QStringLiteral("title"));
}
void Video::setTitle(const QString& value) {
    setValue(value, QStringLiteral("title"));
}

QString Video::quality() const {
    return stringValue(QStringLiteral("quality"));
}
void Video::setQuality(const QString& value) {
    setValue(value, QStringLiteral("quality"));
}

QString Video::type() const {
    return stringValue(QStringLiteral("type"));
}
void Video::setType(const QString& value) {
    setValue(value, QStringLiteral("type"));
}

QString Video::subtitle() const {
    return stringValue(QStringLiteral("subtitle"));
}
void Video::setSubtitle(const QString& value) {
    setValue(value, QStringLiteral("subtitle"));
}

QString Video::authorName() const {
    return stringValue(QStringLiteral("authorName"));
}
void Video::setAuthorName(const QString& value) {
    setValue(value, QStringLiteral("authorName"));
}

QString Video::bitrate() const {
    return stringValue(QStringLiteral("bitrate"));
}
void Video::setBitrate(const QString& value) {
    setValue(value, QStringLiteral("bitrate"));
}

QString Video::downloadURL() const {
    return stringValue(QStringLiteral("downloadURL"));
}
void Video::setDownloadURL(const QString& value) {
    setValue(value, QStringLiteral("downloadURL"));
}

QString Video::uuidString() const {
    return stringValue(QStringLiteral("uuidString"));
}
void Video::setUuidString(const QString& value) {
    setValue(value, QStringLiteral("uuidString"));
}

bool Video::isAudio() const {
    return boolValue(QStringLiteral("isAudio"));
}
void Video::setIsAudio(bool value) {
    setValue(value, QStringLiteral("isAudio"));
}

QString Video::fileName() const {
    return stringValue(QStringLiteral("fileName"));
}
void Video::setFileName(const QString& value) {
    setValue(value, QStringLiteral("fileName"));
}

QString Video::fileExtension() const {
    return stringValue(QStringLiteral("fileExtension"));
}
void Video::setFileExtension(const QString& value) {
    setValue(value, QStringLiteral("fileExtension"));
}

QByteArray Video::resumeData() const {
    return dataValue(QStringLiteral("resumeData"));
}
void Video::setResumeData(const QByteArray& value) {
    setValue(value, QStringLiteral("resumeData"));
}

qint64 Video::totalBytesExpected() const {
    return integerValue(QStringLiteral("totalBytesExpected"));
}
void Video::setTotalBytesExpected(qint64 value) {
    setValue(QVariant::fromValue(value), QStringLiteral("totalBytesExpected"));
}

qint64 Video::totalBytesWritten() const {
    return integerValue(QStringLiteral("totalBytesWritten"));
}
void Video::setTotalBytesWritten(qint64 value) {
    setValue(QVariant::fromValue(value), QStringLiteral("totalBytesWritten"));
}

qint16 Video::downloadState() const {
    return static_cast<qint16>(integerValue(QStringLiteral("downloadState")));
}
void Video::setDownloadState(qint16 value) {
    setValue(QVariant::fromValue<qlonglong>(value), QStringLiteral("downloadState"));
}

void Video::setThumbnailImage(const QVariant& value) {
    thumbnailImage_ = value;
    notifyValueChanged(QStringLiteral("thumbnailImage"));
}

void Video::setSizeRemainingString(const QString& value) {
    sizeRemainingString_ = value;
    notifyValueChanged(QStringLiteral("sizeRemainingString"));
}

void Video::setPercentRemainingString(const QString& value) {
    percentRemainingString_ = value;
    notifyValueChanged(QStringLiteral("percentRemainingString"));
}

void Video::setShouldHideDownloadProgressIndicator(bool value) {
    shouldHideDownloadProgressIndicator_ = value;
    notifyValueChanged(QStringLiteral("shouldHideDownloadProgressIndicator"));
}

void Video::setShouldHidePercentRemainingIndicator(bool value) {
    shouldHidePercentRemainingIndicator_ = value;
    notifyValueChanged(QStringLiteral("shouldHidePercentRemainingIndicator"));
}

}  // namespace clipmoor
