#include "kill_resume_driver.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcessEnvironment>

#include <csignal>

#include "download/clipmoor_model.h"
#include "download/video.h"
#include "platform/http/partial_files.h"
#include "platform/object_store/fetch_request.h"
#include "platform/user_defaults.h"
#include "store/core_data_controller.h"
#include "test_environment.h"

namespace clipmoor::test {

namespace {
constexpr int kStartTimeoutMs = 60'000;
constexpr int kLogTimeoutMs = 15'000;
const QString kFileName = QStringLiteral("Crash test clip(medium)");
}  // namespace

KillResumeDriver::KillResumeDriver(QString executable, QString mediaName, qint64 size,
                                   qint64 bytesPerSecond)
    : executable_(std::move(executable)),
      mediaName_(std::move(mediaName)),
      size_(size),
      bytesPerSecond_(bytesPerSecond),
      downloadFolder_(privateHome() + QStringLiteral("/Downloads/Clipmoor")) {}

KillResumeDriver::~KillResumeDriver() {
    if (process_.state() != QProcess::NotRunning) {
        process_.kill();
        process_.waitForFinished();
    }
    TestSite::shared().setFullSpeed(false);
}

void KillResumeDriver::seed() {
    TestSite& site = TestSite::shared();
    site.mediaFile(mediaName_, size_);
    site.setFullSpeed(false);
    QDir().mkpath(downloadFolder_);
    UserDefaults::standard().setValue(downloadFolder_, QStringLiteral("ClipmoorMediaDownloadPath"));
    UserDefaults::standard().synchronize();

    CoreDataController store(loadClipmoorModel);
    ManagedObjectContext* context = store.managedObjectContext();
    if (!context) return;
    const auto video = context->insertNewObjectForEntityForName<Video>(kVideoEntityName);
    video->setVideoID(QStringLiteral("Missing0009"));  // no thumbnail to fetch
    video->setItag(QStringLiteral("18"));
    video->setTitle(kFileName);
    video->setFileName(kFileName);
    video->setFileExtension(QStringLiteral("mp4"));
    video->setDownloadURL(site.switchableMediaUrl(mediaName_, bytesPerSecond_).toString());
    video->setDownloadState(Video::Queued);
    store.saveAction();
}

QString KillResumeDriver::finishedFilePath() const {
    return downloadFolder_ + QLatin1Char('/') + kFileName + QStringLiteral(".mp4");
}

QStringList KillResumeDriver::partialFiles() const {
    return QDir(defaultPartialFileFolder()).entryList(QDir::Files);
}

std::pair<QString, qint64> KillResumeDriver::newestPartialFile() const {
    const QFileInfoList files =
        QDir(defaultPartialFileFolder()).entryInfoList(QDir::Files, QDir::Time);
    if (files.isEmpty()) return {};
    return {files.first().absoluteFilePath(), files.first().size()};
}

QList<AccessLogEntry> KillResumeDriver::mediaRequests() const {
    QList<AccessLogEntry> requests;
    const QString target = QStringLiteral("/switchable/media/") + mediaName_;
    for (const AccessLogEntry& entry : TestSite::shared().accessLog())
        if (entry.target().startsWith(target)) requests.append(entry);
    return requests;
}

bool KillResumeDriver::start(QString* failure) {
    ++runs_;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process_.setProcessEnvironment(environment);
    process_.setStandardOutputFile(QProcess::nullDevice());
    process_.setStandardErrorFile(privateHome() +
                                  QStringLiteral("/clipmoor-run-%1.log").arg(runs_));
    // A margin for file times from the kernel's coarse clock; earlier runs have all ended.
    startedAt_ = QDateTime::currentDateTime().addMSecs(-5);
    process_.start(executable_, {});
    if (!process_.waitForStarted(kStartTimeoutMs)) {
        *failure = QStringLiteral("the application did not start: ") + process_.errorString();
        return false;
    }
    return true;
}

bool KillResumeDriver::runAndKill(int runMs, KillCycle* cycle, QString* failure) {
    // Where the last kill left the download: the new run flows once it is past that point.
    KillCycle before;
    readStore(&before);
    if (!start(failure)) return false;
    const bool flowing = waitUntil(
        [&] {
            const QFileInfo newest(newestPartialFile().first);
            return newest.exists() && newest.lastModified() >= startedAt_ &&
                   newest.size() > before.resumeOffset();
        },
        kStartTimeoutMs);
    if (!flowing) {
        *failure = QStringLiteral("no bytes arrived in run %1").arg(runs_);
        return false;
    }
    spinEventLoop(runMs);
    ::kill(static_cast<pid_t>(process_.processId()), SIGKILL);
    process_.waitForFinished(kStartTimeoutMs);

    cycle->bytesAtKill = newestPartialFile().second;
    readStore(cycle);
    // nginx logs a request once it notices the client is gone.
    if (!waitUntil([&] { return mediaRequests().size() == runs_; }, kLogTimeoutMs)) {
        *failure = QStringLiteral("the site logged %1 requests after %2 runs")
                       .arg(mediaRequests().size())
                       .arg(runs_);
        return false;
    }
    return true;
}

void KillResumeDriver::readStore(KillCycle* cycle) const {
    bool failed = false;
    CoreDataController store(loadClipmoorModel);
    store.setErrorPresenter([&failed](const Error&) { failed = true; });
    ManagedObjectContext* context = store.managedObjectContext();
    Error error;
    const auto records = context
                             ? context->executeFetchRequest(FetchRequest(kVideoEntityName), &error)
                             : std::nullopt;
    cycle->storeOpened = records && !failed;
    if (!records || records->empty()) return;
    cycle->records = static_cast<int>(records->size());
    const auto& video = static_cast<const Video&>(*records->front());
    cycle->checkpoint = ResumeData::decode(video.resumeData());
    if (cycle->checkpoint) {
        const QFileInfo file(cycle->checkpoint->partialFile);
        cycle->checkpointFileSize = file.exists() ? file.size() : -1;
    }
}

bool KillResumeDriver::runToEnd(QString* failure) {
    TestSite::shared().setFullSpeed(true);
    if (!start(failure)) return false;
    const bool whole =
        waitUntil([&] { return QFileInfo(finishedFilePath()).size() == size_; }, 10 * 60'000);
    ::kill(static_cast<pid_t>(process_.processId()), SIGTERM);
    const bool ended = process_.waitForFinished(kStartTimeoutMs);
    TestSite::shared().setFullSpeed(false);
    if (!whole || !ended) {
        *failure = whole ? QStringLiteral("the application did not quit on SIGTERM")
                         : QStringLiteral("the finished file did not arrive");
        return false;
    }
    // Sanitizer and crash reports in each run's own error output.
    for (int run = 1; run <= runs_; ++run) {
        QFile log(privateHome() + QStringLiteral("/clipmoor-run-%1.log").arg(run));
        const QByteArray text = log.open(QIODevice::ReadOnly) ? log.readAll() : QByteArray();
        if (text.contains("Sanitizer") || text.contains("runtime error:")) {
            *failure =
                QStringLiteral("run %1 reported a fault: see %2").arg(run).arg(log.fileName());
            return false;
        }
    }
    return true;
}

}  // namespace clipmoor::test
