// The record as its operation's delegate. The operation calls in on its session's callback
// thread; everything that touches the record is handed to the main thread. Only the finished
// file is moved on the callback thread, since it is valid only until the call returns, and
// that move works from the operation's destination path, never from the record.
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>
#include <cerrno>

#include "download/downloader.h"
#include "download/video.h"
#include "download/video_presenter.h"
#include "platform/file_operations.h"
#include "platform/http/partial_files.h"
#include "platform/http/resume_data.h"
#include "platform/http/url_error.h"
#include "platform/main_queue.h"
#include "platform/object_store/managed_object_context.h"
#include "platform/worker_pool.h"

namespace clipmoor {

void Video::applyOnMainThread(std::function<void(Video&)> work) {
    // Copying the weak reference reads nothing the main thread ever changes; it is locked only
    // once the work runs on the main thread.
    std::weak_ptr<ManagedObject> weakRecord = weak_from_this();
    dispatchToMain([weakRecord = std::move(weakRecord), work = std::move(work)] {
        const auto record = weakRecord.lock();
        if (!record || record->isDeleted()) return;
        work(static_cast<Video&>(*record));
    });
}

unsigned Video::implementedDownloaderMethods() const {
    return DidWriteData | DidFinishDownloadingToURL | DidCompleteWithError | DidResumeAtOffset |
           DidPauseWithResumeData | DidCheckpointResumeData;
}

void Video::checkpointResumeData(const QByteArray& data) {
    const QByteArray previous = resumeData();
    setResumeData(data);
    if (abandonsPartialFile(previous, data)) {
        WorkerPool::operationPool().submit(
            [previous, folder = partialFileFolder()] { discardResumeData(previous, folder); });
    }
    ManagedObjectContext* const context = managedObjectContext();
    if (!context || isInserted()) return;  // not in the store file yet: the next save writes it
    QVariantMap values{{QStringLiteral("resumeData"), data}};
    if (const auto resume = ResumeData::decode(data)) {
        values.insert(QStringLiteral("totalBytesWritten"), resume->bytesOnDisk);
        if (resume->expectedTotal >= 0)
            values.insert(QStringLiteral("totalBytesExpected"), resume->expectedTotal);
    }
    Error error;
    if (!context->writeValuesToStore(*this, values, &error))
        qWarning("Error: %s", qPrintable(error.localizedDescription()));
}

void Video::downloaderDidWriteData(Downloader&, qint64, qint64 totalBytesWritten,
                                   qint64 totalBytesExpectedToWrite) {
    applyOnMainThread(
        [written = totalBytesWritten, expected = totalBytesExpectedToWrite](Video& video) {
            video.setTotalBytesWritten(written);
            video.setTotalBytesExpected(expected);
            if (video.downloadState() != Downloading) video.setDownloadState(Downloading);
            if (written == expected) video.setDownloadState(Finished);
            video.updatePropertiesForDownloadProgress();
        });
}

void Video::downloaderDidResumeAtOffset(Downloader&, qint64, qint64) {}

void Video::downloaderDidPauseWithResumeData(Downloader&, const QByteArray& resumeData) {
    applyOnMainThread([resumeData](Video& video) {
        video.checkpointResumeData(resumeData);
        video.setDownloadState(Paused);
        video.updatePropertiesForDownloadProgress();
    });
}

void Video::downloaderDidCheckpointResumeData(Downloader&, const QByteArray& resumeData) {
    applyOnMainThread([resumeData](Video& video) { video.checkpointResumeData(resumeData); });
}

void Video::downloaderDidCompleteWithError(Downloader&, const Error& error) {
    const qint16 state = error.code() == URLError::Cancelled ? Paused : Failed;
    // What was received before a cut connection or a refused address is kept for a retry.
    const QByteArray resumeData =
        error.userInfo()
            .value(QString::fromLatin1(kURLSessionDownloadTaskResumeDataKey))
            .toByteArray();
    const int status = error.userInfo().value(QString::fromLatin1(kHTTPStatusCodeErrorKey)).toInt();
    const bool addressExpired = status == 403 || status == 410;
    applyOnMainThread([state, resumeData, addressExpired](Video& video) {
        if (!resumeData.isEmpty()) video.checkpointResumeData(resumeData);
        video.downloadAddressExpired_ = addressExpired;
        video.setDownloadState(state);
        video.updatePropertiesForDownloadProgress();
    });
}

void Video::downloaderDidFinishDownloadingToURL(Downloader& downloader, const QString& location) {
    if (!doesMediaFileExistInLocation(QUrl::fromLocalFile(location))) {
        applyOnMainThread([](Video& video) {
            video.setDownloadState(Failed);
            video.updatePropertiesForDownloadProgress();
        });
        return;
    }
    const QString destination = downloader.destinationPath();
    std::optional<Error> error;
    if (destination.isEmpty()) {
        error = Error::posix(ENOENT, QStringLiteral("The download has no destination"));
    } else {
        // The download folder was made when the destination was worked out, but it may have
        // been removed since; as then, only its last level is made again.
        const QString folder = QFileInfo(destination).absolutePath();
        if (::mkdir(QFile::encodeName(folder).constData(), 0777) != 0 && errno != EEXIST) {
            const int failure = errno;
            qWarning("%s", qPrintable(Error::posix(failure, "Cannot create the folder " + folder)
                                          .localizedDescription()));
        }
        error = moveFile(location, destination);
    }
    if (!error) {
        applyOnMainThread([](Video& video) {
            video.setDownloadState(Finished);
            video.updatePropertiesForDownloadProgress();
        });
        return;
    }
    qWarning("%s - Error moving file: %s", __func__, qPrintable(error->localizedDescription()));
    applyOnMainThread([](Video& video) {
        video.setDownloadState(Failed);
        video.showMoveFailedSheet();
        video.updatePropertiesForDownloadProgress();
    });
}

void Video::showMoveFailedSheet() {
    VideoPresenter* const sheetPresenter = presenter();
    if (!sheetPresenter) return;
    sheetPresenter->showSheet(
        QStringLiteral("Oops..."),
        QStringLiteral(
            "There was problem moving your file. Would you like to tell us what happened?"),
        {QStringLiteral("No"), QStringLiteral("Yes")}, [](int buttonIndex) {
            if (buttonIndex != 1) return;
            if (VideoPresenter* const feedbackPresenter = presenter())
                feedbackPresenter->showFeedbackDialog();
        });
}

}  // namespace clipmoor
