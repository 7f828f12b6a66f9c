#include "platform/http/download_transfer.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>

#include "platform/file_operations.h"
#include "platform/http/partial_files.h"
#include "platform/http/url_error.h"
#include "platform/http/url_session.h"
#include "platform/http/url_session_download_task.h"

namespace clipmoor {

namespace {

constexpr auto kProgressInterval = std::chrono::milliseconds(100);
const QString kPartialFileTemplate = QStringLiteral("clipmoor-XXXXXX.part");

Error httpStatusError(int status) {
    return Error(kURLErrorDomain, URLError::BadServerResponse,
                 {{kLocalizedDescriptionKey,
                   QStringLiteral("The server answered with HTTP status %1.").arg(status)},
                  {kHTTPStatusCodeErrorKey, status}});
}

Error badServerResponse(const QString& description) {
    return Error(kURLErrorDomain, URLError::BadServerResponse,
                 {{kLocalizedDescriptionKey, description}});
}

// "bytes FIRST-LAST/TOTAL" or "bytes */TOTAL"; TOTAL may be "*".
struct ContentRange {
    std::optional<qint64> first;
    std::optional<qint64> total;
};
std::optional<ContentRange> parseContentRange(const QByteArray& value) {
    static const QRegularExpression pattern(
        QStringLiteral(R"(^bytes\s+(?:(\d+)-(\d+)|\*)/(\d+|\*)$)"));
    const auto match = pattern.match(QString::fromLatin1(value.trimmed()));
    if (!match.hasMatch()) return std::nullopt;
    ContentRange range;
    if (!match.captured(1).isEmpty()) range.first = match.captured(1).toLongLong();
    if (match.captured(3) != QLatin1String("*")) range.total = match.captured(3).toLongLong();
    return range;
}

// A second descriptor of a partial file, so its bytes can be flushed to the disk on the session's
// callback queue, away from the engine thread, while the transfer goes on or after it has closed
// the file. A folder, when given, is flushed too, so that the file's name survives a power cut
// as well as its bytes.
class PartialFileFlush {
public:
    PartialFileFlush(int fd, QString folder)
        : fd_(fd >= 0 ? fcntl(fd, F_DUPFD_CLOEXEC, 0) : -1), folder_(std::move(folder)) {}
    ~PartialFileFlush() {
        if (fd_ >= 0) ::close(fd_);
    }
    PartialFileFlush(const PartialFileFlush&) = delete;
    PartialFileFlush& operator=(const PartialFileFlush&) = delete;

    // True once every byte written to the file so far is on the disk.
    bool flush() const {
        if (fd_ < 0 || fdatasync(fd_) != 0) return false;
        if (!folder_.isEmpty()) {
            const int folder =
                ::open(QFile::encodeName(folder_).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            if (folder >= 0) {
                ::fsync(folder);
                ::close(folder);
            }
        }
        return true;
    }

private:
    const int fd_;
    const QString folder_;
};

}  // namespace

DownloadTransfer::DownloadTransfer(TransferRequest request, QString temporaryDirectory,
                                   std::weak_ptr<UrlSession> session,
                                   std::weak_ptr<UrlSessionDownloadTask> task,
                                   std::optional<QByteArray> resumeData, int checkpointIntervalMs)
    : Transfer(std::move(request)),
      temporaryDirectory_(std::move(temporaryDirectory)),
      session_(std::move(session)),
      task_(std::move(task)),
      encodedResumeData_(std::move(resumeData)),
      resumeData_(encodedResumeData_ ? ResumeData::decode(*encodedResumeData_) : std::nullopt),
      checkpointInterval_(std::max(0, checkpointIntervalMs)) {
    if (resumeData_) {
        mutableRequest().url = resumeData_->url;
        entityTag_ = resumeData_->entityTag;
        lastModified_ = resumeData_->lastModified;
        expectedTotal_ = resumeData_->expectedTotal;
    }
}

DownloadTransfer::~DownloadTransfer() {
    closeFile();
}

void DownloadTransfer::setResumeDataHandler(ResumeDataHandler handler) {
    std::lock_guard lock(handlerMutex_);
    resumeDataHandler_ = std::move(handler);
}

std::optional<Error> DownloadTransfer::prepare() {
    if (encodedResumeData_ && !preparedFromResumeData_) {
        if (!resumeData_) {
            return Error(kURLErrorDomain, URLError::CannotDecodeResumeData,
                         {{kLocalizedDescriptionKey,
                           "The resume data is damaged or of an "
                           "unknown version."}});
        }
        if (auto error = openPartialFileForResume()) return error;
        preparedFromResumeData_ = true;
        return std::nullopt;
    }
    if (fd_ < 0) return createPartialFile();
    return std::nullopt;  // a restart reuses the open, emptied file
}

std::optional<Error> DownloadTransfer::createPartialFile() {
    // Partial files show what the user is downloading: their folder is the user's alone.
    if (auto error = makePrivateFolder(temporaryDirectory_)) return error;
    QByteArray pathTemplate = QFile::encodeName(temporaryDirectory_ + '/' + kPartialFileTemplate);
    const int fd = mkostemps(pathTemplate.data(), 5, O_CLOEXEC);
    if (fd < 0) return Error::posix(errno, QStringLiteral("Cannot create a partial file"));
    fd_ = fd;
    path_ = QFile::decodeName(pathTemplate);
    offset_ = written_ = 0;
    return std::nullopt;
}

std::optional<Error> DownloadTransfer::openPartialFileForResume() {
    // Resume data comes from storage and may have been altered: only a partial file of our own
    // folder is ever opened, never through a symbolic link.
    int fd = -1;
    if (auto error = openPartialFile(resumeData_->partialFile, temporaryDirectory_, &fd))
        return error;
    struct stat status {};
    if (fstat(fd, &status) != 0) {
        const int error = errno;
        ::close(fd);
        return Error::posix(error, QStringLiteral("Cannot read the partial file"));
    }
    const QFileInfo info(resumeData_->partialFile);
    // Continue after the bytes that are certainly there and certainly ours.
    const qint64 usable = std::min<qint64>(status.st_size, resumeData_->bytesOnDisk);
    if (ftruncate(fd, usable) != 0 || lseek(fd, usable, SEEK_SET) != usable) {
        const int error = errno;
        ::close(fd);
        return Error::posix(error, QStringLiteral("Cannot prepare the partial file"));
    }
    fd_ = fd;
    path_ = info.absoluteFilePath();
    offset_ = written_ = reportedWritten_ = checkpointedWritten_ = usable;
    handedOut_ = true;  // the resume data's owner refers to this file
    folderFlushed_ = true;

    QByteArray validator = entityTag_.isEmpty() ? lastModified_ : entityTag_;
    mutableRequest().headers = {"Range: bytes=" + QByteArray::number(usable) + "-",
                                "If-Range: " + validator};
    rangeRequested_ = true;
    return std::nullopt;
}

bool DownloadTransfer::onResponse(const UrlResponse& response) {
    if (auto task = task_.lock()) task->setResponse(response);
    const int status = response.statusCode;
    if (status >= 400 && !(rangeRequested_ && status == 416)) {
        park(httpStatusError(status));
        return false;
    }
    if (rangeRequested_) {
        if (!acceptRangeAnswer(response)) return false;
    } else if (status == 206) {
        park(badServerResponse(
            QStringLiteral("The server sent part of a file that was asked for whole.")));
        return false;
    } else {
        expectedTotal_ = response.expectedContentLength;
    }
    rememberValidators(response);
    reportResumeOnce();
    lastCheckpoint_ = std::chrono::steady_clock::now();  // the first one comes an interval later
    return true;
}

bool DownloadTransfer::acceptRangeAnswer(const UrlResponse& response) {
    const int status = response.statusCode;
    const auto range = parseContentRange(response.headerValue("Content-Range"));
    if (status == 416) {
        if (range && !range->first && range->total) unsatisfiableRangeTotal_ = range->total;
        restartRequested_ = true;
        return false;
    }
    if (status != 206) {  // the server ignored the range or the validator changed: start over
        startOverInFile();
        expectedTotal_ = response.expectedContentLength;
        return true;
    }
    if (!range || range->first != offset_) {
        park(badServerResponse(QStringLiteral("The server resumed at another offset than asked.")));
        return false;
    }
    const QByteArray tag = response.headerValue("ETag");
    if (!entityTag_.isEmpty() && !tag.isEmpty() && tag != entityTag_) {
        restartRequested_ = true;  // a different file behind the same address
        return false;
    }
    if (range->total) {
        expectedTotal_ = *range->total;
    } else {
        expectedTotal_ =
            response.expectedContentLength >= 0 ? offset_ + response.expectedContentLength : -1;
    }
    return true;
}

void DownloadTransfer::startOverInFile() {
    if (ftruncate(fd_, 0) == 0) lseek(fd_, 0, SEEK_SET);
    offset_ = written_ = reportedWritten_ = checkpointedWritten_ = 0;
}

void DownloadTransfer::rememberValidators(const UrlResponse& response) {
    const QByteArray tag = response.headerValue("ETag");
    entityTag_ = tag.startsWith("W/") ? QByteArray() : tag;  // If-Range needs a strong tag
    lastModified_ = response.headerValue("Last-Modified");
    serverRefusesRanges_ = response.headerValue("Accept-Ranges").trimmed().toLower() == "none";
}

bool DownloadTransfer::isResumable() const {
    return fd_ >= 0 && !serverRefusesRanges_ && (!entityTag_.isEmpty() || !lastModified_.isEmpty());
}

bool DownloadTransfer::onBody(const char* data, size_t size) {
    size_t done = 0;
    while (done < size) {
        const ssize_t result = ::write(fd_, data + done, size - done);
        if (result < 0) {
            if (errno == EINTR) continue;
            park(Error::posix(errno, QStringLiteral("Cannot write the partial file")));
            return false;
        }
        done += static_cast<size_t>(result);
    }
    written_ += static_cast<qint64>(size);
    reportProgress(false);
    checkpointIfDue();
    return true;
}

QByteArray DownloadTransfer::currentResumeData() const {
    return ResumeData{request().url, path_, written_, entityTag_, lastModified_, expectedTotal_}
        .encode();
}

std::function<void()> DownloadTransfer::flushLater() const {
    const auto file = std::make_shared<const PartialFileFlush>(fd_, QString());
    return [file] { file->flush(); };
}

void DownloadTransfer::checkpointIfDue() {
    if (checkpointInterval_.count() <= 0 || written_ <= checkpointedWritten_ || !isResumable())
        return;
    // With every byte in, the finished file follows at once; resume data would only trail it.
    if (expectedTotal_ >= 0 && written_ >= expectedTotal_) return;
    const auto now = std::chrono::steady_clock::now();
    if (now - lastCheckpoint_ < checkpointInterval_) return;
    auto session = session_.lock();
    auto task = task_.lock();
    if (!session || !task) return;
    lastCheckpoint_ = now;
    checkpointedWritten_ = written_;
    handedOut_ = true;
    // The first checkpoint of a new file flushes its folder too.
    auto flush = std::make_shared<const PartialFileFlush>(
        fd_, folderFlushed_ ? QString() : QFileInfo(path_).absolutePath());
    folderFlushed_ = true;
    session->deliver(
        [session, task, flush, data = currentResumeData()](UrlSessionDelegate* delegate) {
            // Only bytes that are on the disk are ever reported; the next checkpoint tries again.
            if (!flush->flush()) return;
            if (auto* download = dynamic_cast<UrlSessionDownloadDelegate*>(delegate))
                download->didCheckpointResumeData(*session, *task, data);
        });
}

void DownloadTransfer::reportProgress(bool final) {
    const auto now = std::chrono::steady_clock::now();
    if (written_ == reportedWritten_) return;
    if (!final && now - lastReport_ < kProgressInterval) return;
    lastReport_ = now;
    const qint64 since = written_ - reportedWritten_;
    reportedWritten_ = written_;
    auto session = session_.lock();
    auto task = task_.lock();
    if (!session || !task) return;
    session->deliver([session, task, since, total = written_,
                      expected = expectedTotal_](UrlSessionDelegate* delegate) {
        if (auto* download = dynamic_cast<UrlSessionDownloadDelegate*>(delegate))
            download->didWriteData(*session, *task, since, total, expected);
    });
}

void DownloadTransfer::reportResumeOnce() {
    if (!encodedResumeData_ || resumeReported_) return;
    resumeReported_ = true;
    auto session = session_.lock();
    auto task = task_.lock();
    if (!session || !task) return;
    session->deliver(
        [session, task, offset = offset_, expected = expectedTotal_](UrlSessionDelegate* delegate) {
            if (auto* download = dynamic_cast<UrlSessionDownloadDelegate*>(delegate))
                download->didResumeAtOffset(*session, *task, offset, expected);
        });
}

Transfer::Outcome DownloadTransfer::onEnded(const std::optional<Error>& error) {
    if (ended_) return Outcome::Finished;
    if (restartRequested_ && fd_ >= 0) {
        restartRequested_ = false;
        // 416 for exactly the bytes we hold: the file was already complete.
        if (unsatisfiableRangeTotal_ && *unsatisfiableRangeTotal_ == written_ && written_ > 0 &&
            (expectedTotal_ < 0 || expectedTotal_ == written_)) {
            expectedTotal_ = written_;
            reportResumeOnce();
            ended_ = true;
            deliverFinishedFile();
            return Outcome::Finished;
        }
        if (!restartedOnce_) {
            restartedOnce_ = true;
            unsatisfiableRangeTotal_.reset();
            startOverInFile();
            rangeRequested_ = false;
            expectedTotal_ = -1;
            mutableRequest().headers.clear();
            return Outcome::Restart;
        }
        ended_ = true;
        deliverFailure(badServerResponse(QStringLiteral("The server cannot resume this file.")));
        return Outcome::Finished;
    }
    ended_ = true;
    if (error) {
        deliverFailure(*error);
    } else if (auto problem = checkFileIsComplete()) {
        deliverFailure(*problem);
    } else {
        deliverFinishedFile();
    }
    return Outcome::Finished;
}

std::optional<Error> DownloadTransfer::checkFileIsComplete() {
    struct stat status {};
    if (fstat(fd_, &status) != 0 || status.st_nlink == 0)
        return Error::posix(ENOENT, QStringLiteral("The partial file was removed"));
    if (expectedTotal_ >= 0 && written_ != expectedTotal_) {
        return Error(
            kURLErrorDomain, URLError::NetworkConnectionLost,
            {{kLocalizedDescriptionKey,
              QStringLiteral("Received %1 of %2 bytes.").arg(written_).arg(expectedTotal_)}});
    }
    if (::close(std::exchange(fd_, -1)) != 0)
        return Error::posix(errno, QStringLiteral("Cannot write the partial file"));
    return std::nullopt;
}

void DownloadTransfer::onStopped(StopReason reason, bool) {
    ResumeDataHandler handler;
    if (reason == StopReason::ProduceResumeData) {
        std::lock_guard lock(handlerMutex_);
        handler = std::move(resumeDataHandler_);
    }
    if (ended_) {
        deliverResumeData(std::move(handler), {}, {}, {});
        return;
    }
    ended_ = true;
    if (reason == StopReason::Cancel) {
        deliverFailure(cancelledError());
        return;
    }
    QByteArray data;
    bool fresh = false;
    std::function<void()> flush;
    if (encodedResumeData_ && !preparedFromResumeData_) {
        data = resumeData_ ? *encodedResumeData_ : QByteArray();  // never started: still valid
    } else if (isResumable()) {
        data = currentResumeData();
        flush = flushLater();
        closeFile();
        path_.clear();  // the partial file belongs to the resume data now: never discard it
        fresh = true;
    }
    if (data.isEmpty()) discardFile();
    // Data handed back unchanged is still its owner's; new data that reaches nobody (the
    // session was invalidated meanwhile) would leave its partial file behind, unless earlier
    // resume data names the file too.
    deliverResumeData(std::move(handler), data,
                      fresh && !handedOut_ ? temporaryDirectory_ : QString(), std::move(flush));
    deliverFailure(cancelledError());
}

void DownloadTransfer::closeFile() {
    if (fd_ >= 0) ::close(std::exchange(fd_, -1));
}

void DownloadTransfer::discardFile() {
    closeFile();
    if (!path_.isEmpty()) QFile::remove(std::exchange(path_, QString()));
}

bool DownloadTransfer::hasSoundBytes(const Error& failure) const {
    if (fd_ < 0 || written_ <= 0 || !isResumable()) return false;
    if (expectedTotal_ >= 0 && written_ >= expectedTotal_) return false;
    if (failure.is(QString::fromLatin1(kPOSIXErrorDomain), ENOENT)) return false;
    struct stat status {};
    return fstat(fd_, &status) == 0 && status.st_nlink > 0 && status.st_size >= written_;
}

void DownloadTransfer::deliverFailure(Error error) {
    std::function<void()> flush;
    QString kept;
    if (hasSoundBytes(error)) {
        // A cut connection, a time-out, an expired address: the bytes so far stay for a resume.
        error.setUserInfoValue(QString::fromLatin1(kURLSessionDownloadTaskResumeDataKey),
                               currentResumeData());
        flush = flushLater();
        closeFile();
        kept = std::exchange(path_, QString());
    }
    discardFile();
    // Kept bytes that reach nobody are deleted, unless earlier resume data names the file.
    const QString orphan = handedOut_ ? QString() : kept;
    auto session = session_.lock();
    auto task = task_.lock();
    if (!session || !task) {
        if (!orphan.isEmpty()) QFile::remove(orphan);
        return;
    }
    task->setError(error);
    const auto received = std::make_shared<bool>(false);
    session->deliverCompletion(
        task,
        [session, task, error, flush, received](UrlSessionDelegate* delegate) {
            if (flush) flush();
            *received = delegate != nullptr;
            if (delegate) delegate->didComplete(*session, *task, error);
        },
        [orphan, received] {
            if (!*received && !orphan.isEmpty()) QFile::remove(orphan);
        });
}

void DownloadTransfer::deliverFinishedFile() {
    reportProgress(true);
    closeFile();
    const QString path = std::exchange(path_, QString());
    auto session = session_.lock();
    auto task = task_.lock();
    if (!session || !task) {
        QFile::remove(path);
        return;
    }
    session->deliverCompletion(
        task,
        [session, task, path](UrlSessionDelegate* delegate) {
            if (auto* download = dynamic_cast<UrlSessionDownloadDelegate*>(delegate))
                download->didFinishDownloadingToURL(*session, *task, path);
            // The file is valid only during the call; whatever the delegate left is removed.
            QFile::remove(path);
            if (delegate) delegate->didComplete(*session, *task, std::nullopt);
        },
        [path] { QFile::remove(path); });
}

namespace {
// Discards fresh resume data unless it was handed to its handler by the time it goes away.
class UndeliveredResumeData {
public:
    UndeliveredResumeData(QByteArray data, QString folder)
        : data_(std::move(data)), folder_(std::move(folder)) {}
    ~UndeliveredResumeData() {
        if (!delivered_ && !folder_.isEmpty()) discardResumeData(data_, folder_);
    }
    const QByteArray& deliver() {
        delivered_ = true;
        return data_;
    }

private:
    const QByteArray data_;
    const QString folder_;
    bool delivered_ = false;
};
}  // namespace

void DownloadTransfer::deliverResumeData(ResumeDataHandler handler, const QByteArray& data,
                                         const QString& discardFolder,
                                         std::function<void()> flush) {
    auto pending = std::make_shared<UndeliveredResumeData>(data, discardFolder);
    auto session = session_.lock();
    if (!session || !handler) return;
    session->deliver(
        [handler = std::move(handler), pending, flush = std::move(flush)](UrlSessionDelegate*) {
            if (flush) flush();  // the data may be stored at once: its bytes go to the disk first
            handler(pending->deliver());
        });
}

}  // namespace clipmoor
