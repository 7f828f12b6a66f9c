#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>
#include <QVariant>

#include <functional>
#include <memory>

#include "download/downloader_delegate.h"
#include "download/transfer_rate_estimator.h"
#include "platform/object_store/managed_object.h"

namespace clipmoor {

class Downloader;
class VideoPresenter;

// The persistent record of one download (entity "Video"): the stream's facts, the file name,
// the byte counters, the resume data and the download state, plus display fields that live
// only in memory. Every setter notifies, also when the value does not change: through
// valueChanged(key) and the property's own NOTIFY signal. Main thread only.
//
// The record is the delegate of its download operation. The operation calls it on its session's
// callback thread; the record hands every change to the main thread, holding itself weakly, so
// work for a record that is gone (or deleted) is dropped. Records are made by the model's factory
// (clipmoor_model.h), which destroys them on the main thread whichever thread lets go last.
class Video : public ManagedObject, public DownloaderDelegate {
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
    // Values of downloadState.
    enum DownloadState : qint16 {
        Queued = 0,
        Paused = 1,
        Finished = 2,
        Downloading = 3,
        Failed = 4
    };

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
    // Speed and time left while the operation is running and reporting ("2.4 MB/s · 1 min
    // left", "Stalled"); empty in every other state. Read it again to follow the clock: it
    // changes with time even when no report arrives.
    QString timeRemainingString() const;

    // Where the finished file goes: "<download folder>/<fileName>.<fileExtension>", the folder
    // from the setting "ClipmoorMediaDownloadPath" (created when missing). Rewrites `fileName`
    // into a name that is usable as a file name (see media_file_name.h) and keeps it.
    QString mediaLocalFilePath();
    // The video's watch page and its thumbnail on the site.
    QUrl youTubePageURL() const;
    QUrl thumbNailURL() const;
    // True exactly when the URL's path is a file (links followed) with a size above 0.
    static bool doesMediaFileExistInLocation(const QUrl& fileURL);

    // The user's actions on the record's row.
    void resume();
    void pause();
    // Opens the finished file in the player, or offers to remove the record when the file is
    // missing ("Yes" posts "ClipmoorItemDeleteItemNotification" with the record's objectID).
    void play();

    // Keeps `data` as the record's resume data and writes it at once, with the byte counters it
    // stands for, into the record's row of the store file (the record's other changes wait for
    // the next save as before), so a crash or a power cut loses no more than the bytes since.
    // A partial file that only the replaced data named is deleted.
    void checkpointResumeData(const QByteArray& data);
    // True when the last transfer failed because the media host refused the stream's address
    // (403 or 410): it has expired, and only a new look-up of the video gives a valid one.
    bool downloadAddressExpired() const { return downloadAddressExpired_; }
    // A retry of a failed download: back to queued, with the progress bar shown again. The
    // caller gives the record a new operation, which continues from the stored resume data.
    void prepareForRetry();
    // Takes `address` as the stream's address, also in the resume data (whose partial file
    // stays), and forgets that the old one expired.
    void replaceDownloadAddress(const QString& address);

    // The user interface every record reports to; none by default.
    static void setPresenter(VideoPresenter* presenter);
    static VideoPresenter* presenter();

    // Set-up run when the record is inserted or read from the store: listens for the computer
    // going to sleep and to its own downloadState, marks itself finished when its file is in
    // the download folder, and computes its texts.
    void prepareNotificationsObservers();
    // Stops the operation for good (it cannot survive the sleep); state and texts stay.
    void handleWorkspaceSleepNotification();
    // Nothing: the list controller gives the record a new operation when it needs one.
    void handleWorkspaceWakeNotification() {}
    void checkForLocalFileAtStartupIfExistMarkDownloadStateAsComplete();
    // sizeRemainingString and the hide flags from the state and the byte counters, then the
    // percentage.
    void updatePropertiesForDownloadProgress();
    // percentRemainingString: the part received so far, "42%"; unchanged while the expected
    // total is unknown (below 1).
    void updatePercentOfDownloadRemaining();

    // DownloaderDelegate, called on the operation's callback thread.
    unsigned implementedDownloaderMethods() const override;
    void downloaderDidWriteData(Downloader& downloader, qint64 bytesWritten,
                                qint64 totalBytesWritten,
                                qint64 totalBytesExpectedToWrite) override;
    // Moves the file to the operation's destinationPath() before returning.
    void downloaderDidFinishDownloadingToURL(Downloader& downloader,
                                             const QString& location) override;
    void downloaderDidCompleteWithError(Downloader& downloader, const Error& error) override;
    void downloaderDidResumeAtOffset(Downloader& downloader, qint64 fileOffset,
                                     qint64 expectedTotalBytes) override;
    void downloaderDidPauseWithResumeData(Downloader& downloader,
                                          const QByteArray& resumeData) override;
    void downloaderDidCheckpointResumeData(Downloader& downloader,
                                           const QByteArray& resumeData) override;

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
    void awakeFromInsert() override { prepareNotificationsObservers(); }
    void awakeFromFetch() override { prepareNotificationsObservers(); }
    // Stops listening for sleep, detaches and stops the operation, and deletes the partial file
    // of any resume data (the finished file in the download folder is never touched).
    void prepareForDeletion() override;

private:
    // Runs `work` on the main thread if the record still exists and is not deleted by then.
    // Any thread; the record is locked only on the main thread.
    void applyOnMainThread(std::function<void(Video&)> work);
    // The media file's path in `folder`, with `fileName` cleaned as mediaLocalFilePath does.
    QString mediaFilePathInFolder(const QString& folder);
    // Marks the record finished when its media file is in the download folder; true if so.
    bool markFinishedIfMediaFileExists();
    static bool isNonEmptyFile(const QString& path);
    // "5 KB of 10 KB": the byte counters in the size text's units.
    QString writtenOfExpected() const;
    void showMoveFailedSheet();
    // Where the record's partial files are: its operation's folder, or the default one.
    QString partialFileFolder() const;
    void notifyInMemoryValueChanged(const QString& key, void (Video::*notifySignal)());
    // Feeds the counters to the speed estimate while the operation runs; drops it otherwise.
    void updateTransferRate();

    std::weak_ptr<Downloader> downloader_;
    QMetaObject::Connection sleepConnection_;
    QVariant thumbnailImage_;
    QString sizeRemainingString_;
    QString percentRemainingString_;
    bool shouldHideDownloadProgressIndicator_ = false;
    bool shouldHidePercentRemainingIndicator_ = false;
    // Made at the first report of a running operation, so idle records cost nothing.
    std::unique_ptr<TransferRateEstimator> transferRate_;
    bool downloadAddressExpired_ = false;
};

}  // namespace clipmoor
