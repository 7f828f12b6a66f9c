#include "download/video.h"

#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>
#include <cerrno>
#include <cstring>

#include "download/download_folder.h"
#include "download/downloader.h"
#include "download/media_file_name.h"
#include "download/video_presenter.h"
#include "extractor/site_endpoints.h"
#include "platform/main_queue.h"
#include "platform/notification_center.h"

namespace clipmoor {

namespace {
VideoPresenter* gPresenter = nullptr;
const char* const kItemDeleteItemNotification = "ClipmoorItemDeleteItemNotification";
}  // namespace

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

// In-memory fields notify directly: records are woken by the hundred thousand at start, and
// this spares the property look-up of notifyValueChanged.
void Video::notifyInMemoryValueChanged(const QString& key, void (Video::*notifySignal)()) {
    Q_ASSERT(isMainThread());
    emit valueChanged(key);
    emit(this->*notifySignal)();
}

void Video::setThumbnailImage(const QVariant& value) {
    thumbnailImage_ = value;
    notifyInMemoryValueChanged(QStringLiteral("thumbnailImage"), &Video::thumbnailImageChanged);
}

void Video::setSizeRemainingString(const QString& value) {
    sizeRemainingString_ = value;
    notifyInMemoryValueChanged(QStringLiteral("sizeRemainingString"),
                               &Video::sizeRemainingStringChanged);
}

void Video::setPercentRemainingString(const QString& value) {
    percentRemainingString_ = value;
    notifyInMemoryValueChanged(QStringLiteral("percentRemainingString"),
                               &Video::percentRemainingStringChanged);
}

void Video::setShouldHideDownloadProgressIndicator(bool value) {
    shouldHideDownloadProgressIndicator_ = value;
    notifyInMemoryValueChanged(QStringLiteral("shouldHideDownloadProgressIndicator"),
                               &Video::shouldHideDownloadProgressIndicatorChanged);
}

void Video::setShouldHidePercentRemainingIndicator(bool value) {
    shouldHidePercentRemainingIndicator_ = value;
    notifyInMemoryValueChanged(QStringLiteral("shouldHidePercentRemainingIndicator"),
                               &Video::shouldHidePercentRemainingIndicatorChanged);
}

QString Video::mediaLocalFilePath() {
    const QString folder = mediaDownloadFolder();
    // Only the last folder is made: a missing parent means the setting points somewhere wrong.
    if (::mkdir(QFile::encodeName(folder).constData(), 0777) != 0 && errno != EEXIST)
        qWarning("%s", qPrintable(QStringLiteral("Cannot create the folder %1: %2")
                                      .arg(folder, QString::fromLocal8Bit(strerror(errno)))));
    return mediaFilePathInFolder(folder);
}

QString Video::mediaFilePathInFolder(const QString& folder) {
    const QString cleaned = cleanedMediaFileName(fileName(), fileExtension());
    if (cleaned != fileName()) setFileName(cleaned);
    return QStringLiteral("%1/%2.%3").arg(folder, cleaned, fileExtension());
}

bool Video::markFinishedIfMediaFileExists() {
    // Records wake by the hundred thousand at start: the look-up is one stat of the file. The
    // folder is made when a file is to be placed or played, not here.
    const QString folder = mediaDownloadFolder();
    if (!isNonEmptyFile(mediaFilePathInFolder(folder))) return false;
    setDownloadState(Finished);
    return true;
}

QUrl Video::youTubePageURL() const {
    return SiteEndpoints::watchPageURL(videoID());
}

QUrl Video::thumbNailURL() const {
    return SiteEndpoints::thumbnailURL(videoID());
}

bool Video::doesMediaFileExistInLocation(const QUrl& fileURL) {
    return isNonEmptyFile(fileURL.toLocalFile());
}

bool Video::isNonEmptyFile(const QString& path) {
    // Only a file counts: a folder reports a size too (the download folder itself, for a record
    // whose name and extension are not set yet).
    struct stat status {};
    return ::stat(QFile::encodeName(path).constData(), &status) == 0 && S_ISREG(status.st_mode) &&
           status.st_size > 0;
}

void Video::resume() {
    if (const auto operation = downloader_.lock()) operation->resume();
}

void Video::pause() {
    if (const auto operation = downloader_.lock()) operation->suspend();
}

void Video::play() {
    const QString path = mediaLocalFilePath();
    if (QFileInfo(path).isFile()) {  // any size: an empty file is still the user's to open
        if (gPresenter) gPresenter->playMediaFile(QUrl::fromLocalFile(path), fileName());
        return;
    }
    if (!gPresenter) return;
    // The sheet may outlive the record: it keeps only the identity, which the list controller
    // resolves again when it receives the notification.
    const ObjectID identity = objectID();
    gPresenter->showSheet(
        QStringLiteral("Oops..."),
        QStringLiteral("I can't seem to find the file your trying to play. Did you move it or "
                       "delete it? Would you like me to remove this item from the list?"),
        {QStringLiteral("No"), QStringLiteral("Yes")}, [identity](int buttonIndex) {
            if (buttonIndex == 1)
                NotificationCenter::defaultCenter().post(
                    QString::fromLatin1(kItemDeleteItemNotification),
                    QVariant::fromValue(identity));
        });
}

void Video::setPresenter(VideoPresenter* presenter) {
    gPresenter = presenter;
}

VideoPresenter* Video::presenter() {
    return gPresenter;
}

}  // namespace clipmoor
