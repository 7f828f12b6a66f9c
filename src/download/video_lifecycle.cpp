// The record's set-up, its texts, and how it stops its operation for sleep and deletion.
#include <QCoreApplication>

#include <limits>

#include "download/downloader.h"
#include "download/video.h"
#include "platform/byte_count_formatter.h"
#include "platform/http/partial_files.h"
#include "platform/http/resume_data.h"
#include "platform/worker_pool.h"
#include "platform/workspace.h"

namespace clipmoor {

namespace {

// written * 100 / expected, truncated toward zero, without overflowing for any counts.
qint64 percentReceived(qint64 written, qint64 expected) {
    constexpr qint64 kMax = std::numeric_limits<qint64>::max();
    const qint64 whole = written / expected;
    const qint64 rest = written % expected;
    if (whole > kMax / 100 || whole < -kMax / 100) return whole < 0 ? -kMax : kMax;
    const qint64 part = (rest <= kMax / 100 && rest >= -kMax / 100)
                            ? rest * 100 / expected
                            : static_cast<qint64>(static_cast<long double>(rest) * 100 / expected);
    return whole * 100 + part;
}

}  // namespace

void Video::prepareNotificationsObservers() {
    // One plain connection per record: connecting, and dropping it, stays cheap with a hundred
    // thousand records listening.
    disconnect(sleepConnection_);
    sleepConnection_ = connect(&Workspace::sharedWorkspace(), &Workspace::willSleep, this,
                               &Video::handleWorkspaceSleepNotification);
    // Every assignment of the state notifies, also of an unchanged value, and the texts follow.
    connect(this, &Video::downloadStateChanged, this, &Video::updatePropertiesForDownloadProgress,
            Qt::UniqueConnection);
    // A record found finished has had its texts made by the state's observation already.
    if (!markFinishedIfMediaFileExists()) updatePropertiesForDownloadProgress();
}

void Video::checkForLocalFileAtStartupIfExistMarkDownloadStateAsComplete() {
    markFinishedIfMediaFileExists();
}

void Video::handleWorkspaceSleepNotification() {
    if (const auto operation = downloader_.lock()) {
        operation->prepareToCancel();
        operation->cancel();
    }
}

QString Video::partialFileFolder() const {
    if (const auto operation = downloader_.lock()) {
        const QString folder = operation->sessionConfiguration().temporaryDirectory;
        if (!folder.isEmpty()) return folder;
    }
    return defaultPartialFileFolder();
}

void Video::prepareForDeletion() {
    disconnect(sleepConnection_);
    const QString partialFolder = partialFileFolder();
    QByteArray operationResumeData;
    if (const auto operation = downloader_.lock()) {
        operation->setDelegate({});
        operation->prepareToCancel();
        operation->cancel();
        operationResumeData = operation->resumeData();
    }
    downloader_.reset();
    // The partial file of a pause belongs to its resume data; with the record gone nothing can
    // resume from it. Deleted off the main thread, as any file work.
    const QByteArray storedResumeData = resumeData();
    if (storedResumeData.isEmpty() && operationResumeData.isEmpty()) return;
    WorkerPool::operationPool().submit([storedResumeData, operationResumeData, partialFolder] {
        discardResumeData(storedResumeData, partialFolder);
        if (operationResumeData != storedResumeData)
            discardResumeData(operationResumeData, partialFolder);
    });
}

void Video::prepareForRetry() {
    // The bar was hidden when the download failed; it shows the retried one's progress.
    setShouldHideDownloadProgressIndicator(false);
    setDownloadState(Queued);
}

void Video::replaceDownloadAddress(const QString& address) {
    setDownloadURL(address);
    downloadAddressExpired_ = false;
    auto resume = ResumeData::decode(resumeData());
    if (!resume) return;
    const QUrl url(address, QUrl::StrictMode);
    if (!url.isValid()) return;
    // The same stream from a new address: its validators still guard the bytes on disk.
    resume->url = url;
    checkpointResumeData(resume->encode());
}

void Video::updatePropertiesForDownloadProgress() {
    updateTransferRate();
    QString text;
    switch (downloadState()) {
        case Queued:
            text = QCoreApplication::translate("Video", "Queued For Dowload");
            setShouldHidePercentRemainingIndicator(false);
            break;
        case Paused:
            text = QStringLiteral("Paused: ") + writtenOfExpected();
            setShouldHidePercentRemainingIndicator(false);
            break;
        case Finished:
            text =
                QStringLiteral("Ready to play: %1").arg(stringFromByteCount(totalBytesWritten()));
            setShouldHidePercentRemainingIndicator(true);
            setShouldHideDownloadProgressIndicator(true);
            break;
        case Downloading:
            text = writtenOfExpected();
            setShouldHidePercentRemainingIndicator(false);
            break;
        case Failed:
            text = QStringLiteral("Failed to download Media");
            setShouldHidePercentRemainingIndicator(false);
            setShouldHideDownloadProgressIndicator(true);
            break;
        default:
            break;  // no text; the flags stay
    }
    setSizeRemainingString(text);
    updatePercentOfDownloadRemaining();
}

void Video::updateTransferRate() {
    // Only reports of an operation at work count: a record read back in state 3, or one waiting
    // in the queue, has counters from another time.
    const auto operation = downloader_.lock();
    if (downloadState() != Downloading || !operation || !operation->isExecuting()) {
        transferRate_.reset();
        return;
    }
    if (!transferRate_) transferRate_ = std::make_unique<TransferRateEstimator>();
    transferRate_->addProgress(totalBytesWritten(), totalBytesExpected());
}

QString Video::timeRemainingString() const {
    if (!transferRate_ || downloadState() != Downloading) return {};
    return transferRate_->statusText();
}

QString Video::writtenOfExpected() const {
    return QStringLiteral("%1 of %2")
        .arg(stringFromByteCount(totalBytesWritten()), stringFromByteCount(totalBytesExpected()));
}

void Video::updatePercentOfDownloadRemaining() {
    const qint64 expected = totalBytesExpected();
    if (expected < 1) return;
    const qint64 percent = percentReceived(totalBytesWritten(), expected);
    setPercentRemainingString(QString::asprintf("%0.f%%", static_cast<double>(percent)));
}

}  // namespace clipmoor
