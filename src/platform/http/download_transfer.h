#pragma once

#include <QByteArray>
#include <QString>

#include <chrono>
#include <functional>
#include <mutex>
#include <optional>

#include "platform/http/resume_data.h"
#include "platform/http/transfer.h"

namespace clipmoor {

class UrlSession;
class UrlSessionDownloadTask;

// The engine side of a download task: writes the body into a partial file, answers resumed
// requests by their status (206 continues, 200 starts over, 416 restarts or completes), reports
// throttled progress, checkpoints resume data for the bytes flushed to the disk, and produces
// resume data when stopped for it or when a failure leaves sound bytes behind.
//
// The partial file is the transfer's own until resume data naming it has been handed out (the
// task was made from resume data, or a checkpoint was reported): from then on whoever holds that
// data may continue from it, so the transfer never deletes it again; what nobody refers to any
// more is left to the sweep of unreferenced partial files at the next start.
class DownloadTransfer : public Transfer {
public:
    using ResumeDataHandler = std::function<void(const QByteArray&)>;

    DownloadTransfer(TransferRequest request, QString temporaryDirectory,
                     std::weak_ptr<UrlSession> session, std::weak_ptr<UrlSessionDownloadTask> task,
                     std::optional<QByteArray> resumeData, int checkpointIntervalMs = 0);
    ~DownloadTransfer() override;

    // Set before asking the engine to stop the transfer for resume data.
    void setResumeDataHandler(ResumeDataHandler handler);

protected:
    std::optional<Error> prepare() override;
    bool onResponse(const UrlResponse& response) override;
    bool onBody(const char* data, size_t size) override;
    Outcome onEnded(const std::optional<Error>& error) override;
    void onStopped(StopReason reason, bool wasRunning) override;

private:
    std::optional<Error> createPartialFile();
    std::optional<Error> openPartialFileForResume();
    bool acceptRangeAnswer(const UrlResponse& response);
    void startOverInFile();
    void rememberValidators(const UrlResponse& response);
    bool isResumable() const;
    void reportProgress(bool final);
    void reportResumeOnce();
    void checkpointIfDue();
    // Resume data for the bytes in the file now.
    QByteArray currentResumeData() const;
    // Flushes the partial file's bytes to the disk when called, also after the file is closed.
    std::function<void()> flushLater() const;
    // True when the bytes in the file are whole and of the answer the validators name, so a
    // failure may leave them for a resume.
    bool hasSoundBytes(const Error& failure) const;
    void closeFile();
    void discardFile();
    std::optional<Error> checkFileIsComplete();

    // Completes the task with `error`; when the bytes on disk are sound, the file is kept and
    // the error carries resume data for it.
    void deliverFailure(Error error);
    void deliverFinishedFile();
    // `discardFolder`: where `data`'s partial file is discarded if the data reaches nobody;
    // empty when it is not this transfer's to discard. `flush` is run before the data goes out.
    void deliverResumeData(ResumeDataHandler handler, const QByteArray& data,
                           const QString& discardFolder, std::function<void()> flush);

    const QString temporaryDirectory_;
    const std::weak_ptr<UrlSession> session_;
    const std::weak_ptr<UrlSessionDownloadTask> task_;
    const std::optional<QByteArray> encodedResumeData_;
    const std::optional<ResumeData> resumeData_;
    const std::chrono::milliseconds checkpointInterval_;

    std::mutex handlerMutex_;
    ResumeDataHandler resumeDataHandler_;

    // Engine thread only.
    int fd_ = -1;
    QString path_;
    qint64 offset_ = 0;   // where the current answer's body starts in the file
    qint64 written_ = 0;  // bytes in the file
    qint64 expectedTotal_ = -1;
    QByteArray entityTag_;
    QByteArray lastModified_;
    bool serverRefusesRanges_ = false;
    bool rangeRequested_ = false;
    bool preparedFromResumeData_ = false;
    bool resumeReported_ = false;
    bool restartRequested_ = false;
    bool restartedOnce_ = false;
    std::optional<qint64> unsatisfiableRangeTotal_;
    bool ended_ = false;
    qint64 reportedWritten_ = 0;
    std::chrono::steady_clock::time_point lastReport_{};
    // Resume data naming the partial file has gone out: it is no longer this transfer's to delete.
    bool handedOut_ = false;
    bool folderFlushed_ = false;  // the partial file's name is on the disk too
    qint64 checkpointedWritten_ = 0;
    std::chrono::steady_clock::time_point lastCheckpoint_{};
};

}  // namespace clipmoor
