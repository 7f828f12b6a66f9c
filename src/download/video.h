#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>
#include <QVariant>

#include <memory>

#include "platform/object_store/managed_object.h"

namespace clipmoor {

class Downloader;
class VideoPresenter;

// The persistent record of one download (entity "Video"): the stream's facts, the file name,
// the byte counters, the resume data and the download state, plus display fields that live
// only in memory. Every setter notifies, also when the value does not change: through
// valueChanged(key) and the property's own NOTIFY signal. Main thread only.
class Video : public ManagedObject {
    Q_OBJECT
    // Stored attributes.
    Q_PROPERTY(QString videoID READ videoID WRITE setVideoID NOTIFY videoIDChanged)
    Q_PROPERTY(QString itag READ itag WRITE setItag NOTIFY itagChanged)
    Q_PROPERTY(QString title READ title WRITE setTitle NOTIFY titleChanged)
    Q_PROPERTY(QString quality READ quality WRITE setQuality NOTIFY qualityChanged)
    Q_PROPERTY(QString type READ type WRITE setType NOTIFY typeChanged)
    Q_PROPERTY(QString subtitle READ subtitle WRITE setSubtitle NOTIFY subtitleChanged)
    Q_PROPERTY(QString authorName READ authorName WRITE setAuthorName NOTIFY authorNameChanged)
    Q_PROPERTY(QString bitrate READ bitrate WRITE setBitrate NOTIFY bitrateChanged)
    Q_PROPERTY(QString downloadURL READ downloadURL WRITE setDownloadURL NOTIFY downloadURLChanged)
    Q_PROPERTY(QString uuidString READ uuidString WRITE setUuidString NOTIFY uuidStringChanged)
    Q_PROPERTY(bool isAudio READ isAudio WRITE setIsAudio NOTIFY isAudioChanged)
    Q_PROPERTY(QString fileName READ fileName WRITE setFileName NOTIFY fileNameChanged)
    Q_PROPERTY(
        QString fileExtension READ fileExtension WRITE setFileExtension NOTIFY fileExtensionChanged)
    Q_PROPERTY(QByteArray resumeData READ resumeData WRITE setResumeData NOTIFY resumeDataChanged)
    Q_PROPERTY(qint64 totalBytesExpected READ totalBytesExpected WRITE setTotalBytesExpected NOTIFY
                   totalBytesExpectedChanged)
    Q_PROPERTY(qint64 totalBytesWritten READ totalBytesWritten WRITE setTotalBytesWritten NOTIFY
                   totalBytesWrittenChanged)
    Q_PROPERTY(
        qint16 downloadState READ downloadState WRITE setDownloadState NOTIFY downloadStateChanged)
    // In memory only; a record read back from the store starts with them empty or false.
    Q_PROPERTY(QVariant thumbnailImage READ thumbnailImage WRITE setThumbnailImage NOTIFY
                   thumbnailImageChanged)
    Q_PROPERTY(QString sizeRemainingString READ sizeRemainingString WRITE setSizeRemainingString
                   NOTIFY sizeRemainingStringChanged)
    Q_PROPERTY(QString percentRemainingString READ percentRemainingString WRITE
                   setPercentRemainingString NOTIFY percentRemainingStringChanged)
    Q_PROPERTY(bool shouldHideDownloadProgressIndicator READ shouldHideDownloadProgressIndicator
                   WRITE setShouldHideDownloadProgressIndicator NOTIFY
                       shouldHideDownloadProgressIndicatorChanged)
    Q_PROPERTY(bool shouldHidePercentRemainingIndicator READ shouldHidePercentRemainingIndicator
                   WRITE setShouldHidePercentRemainingIndicator NOTIFY
                       shouldHidePercentRemainingIndicatorChanged)

public:
    explicit Video(const ManagedObjectInit& init);
    ~Video() override;

    QString videoID() const;
    void setVideoID(const QString& value);
    QString itag() const;
    void setItag(const QString& value);
    QString title() const;
    void setTitle(const QString& value);
    QString quality() const;
    void setQuality(const QString& value);
    QString type() const;
    void setType(const QString& value);
    QString subtitle() const;
    void setSubtitle(const QString& value);
    QString authorName() const;
    void setAuthorName(const QString& value);
    QString bitrate() const;
    void setBitrate(const QString& value);
    QString downloadURL() const;
    void setDownloadURL(const QString& value);
    QString uuidString() const;
    void setUuidString(const QString& value);
    bool isAudio() const;
    void setIsAudio(bool value);
    QString fileName() const;
    void setFileName(const QString& value);
    QString fileExtension() const;
    void setFileExtension(const QString& value);
    QByteArray resumeData() const;
    void setResumeData(const QByteArray& value);
    qint64 totalBytesExpected() const;  // 0 when never set
    void setTotalBytesExpected(qint64 value);
    qint64 totalBytesWritten() const;  // 0 when never set
    void setTotalBytesWritten(qint64 value);
    // 0 queued, 1 paused, 2 finished, 3 downloading, 4 failed; 0 when never set.
    qint16 downloadState() const;
    void setDownloadState(qint16 value);

    // The operation working for this record; empty by itself once nothing else holds it.
    std::weak_ptr<Downloader> downloader() const { return downloader_; }
    void setDownloader(std::weak_ptr<Downloader> downloader) {
        downloader_ = std::move(downloader);
    }
    // The thumbnail, as whatever image type the user interface keeps in it.
    QVariant thumbnailImage() const { return thumbnailImage_; }
    void setThumbnailImage(const QVariant& value);
    QString sizeRemainingString() const { return sizeRemainingString_; }
    void setSizeRemainingString(const QString& value);
    QString percentRemainingString() const { return percentRemainingString_; }
    void setPercentRemainingString(const QString& value);
    bool shouldHideDownloadProgressIndicator() const {
        return shouldHideDownloadProgressIndicator_;
    }
    void setShouldHideDownloadProgressIndicator(bool value);
    bool shouldHidePercentRemainingIndicator() const {
        return shouldHidePercentRemainingIndicator_;
    }
    void setShouldHidePercentRemainingIndicator(bool value);

    // Where the finished file goes: "<download folder>/<fileName>.<fileExtension>", the folder
    // from the setting "ClipmoorMediaDownloadPath" (created when missing). Rewrites `fileName`
    // into a name that is usable as a file name (see media_file_name.h) and keeps it.
    QString mediaLocalFilePath();
    // The video's watch page and its thumbnail on the site.
    QUrl youTubePageURL() const;
    QUrl thumbNailURL() const;
    // True exactly when the file system reports a size above 0 for the file URL's path.
    static bool doesMediaFileExistInLocation(const QUrl& fileURL);

    // The user's actions on the record's row.
    void resume();
    void pause();
    // Opens the finished file in the player, or offers to remove the record when the file is
    // missing.
    void play();

    // The user interface every record reports to; none by default.
    static void setPresenter(VideoPresenter* presenter);
    static VideoPresenter* presenter();

signals:
    void videoIDChanged();
    void itagChanged();
    void titleChanged();
    void qualityChanged();
    void typeChanged();
    void subtitleChanged();
    void authorNameChanged();
    void bitrateChanged();
    void downloadURLChanged();
    void uuidStringChanged();
    void isAudioChanged();
    void fileNameChanged();
    void fileExtensionChanged();
    void resumeDataChanged();
    void totalBytesExpectedChanged();
    void totalBytesWrittenChanged();
    void downloadStateChanged();
    void thumbnailImageChanged();
    void sizeRemainingStringChanged();
    void percentRemainingStringChanged();
    void shouldHideDownloadProgressIndicatorChanged();
    void shouldHidePercentRemainingIndicatorChanged();

protected:
    // The record's behaviour comes with the download record's own work; for now the
    // lifecycle hooks do nothing.
    void awakeFromInsert() override {}
    void awakeFromFetch() override {}
    void prepareForDeletion() override {}

private:
    std::weak_ptr<Downloader> downloader_;
    QVariant thumbnailImage_;
    QString sizeRemainingString_;
    QString percentRemainingString_;
    bool shouldHideDownloadProgressIndicator_ = false;
    bool shouldHidePercentRemainingIndicator_ = false;
};

}  // namespace clipmoor
