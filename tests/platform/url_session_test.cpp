// Data tasks against the real test site (nginx over TLS) and the fault server.
#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QThread>

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <mutex>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include "fault_server.h"
#include "platform/http/url_error.h"
#include "platform/http/url_session.h"
#include "platform/http/url_session_data_task.h"
#include "platform/http/url_session_download_task.h"
#include "test_environment.h"
#include "test_site.h"

namespace clipmoor::test {
namespace {

constexpr int kWaitMs = 30'000;

struct Completion {
    QByteArray data;
    std::optional<UrlResponse> response;
    std::optional<Error> error;
};

// Every completion a data task delivered, in order; safe to read from the main thread.
class Completions {
public:
    UrlSession::DataCompletion recorder() {
        return [this](const QByteArray& data, const std::optional<UrlResponse>& response,
                      const std::optional<Error>& error) {
            std::lock_guard lock(mutex_);
            calls_.push_back({data, response, error});
        };
    }
    int count() const {
        std::lock_guard lock(mutex_);
        return static_cast<int>(calls_.size());
    }
    Completion first() const {
        std::lock_guard lock(mutex_);
        return calls_.front();
    }
    bool waitForOne() const {
        return waitUntil([this] { return count() >= 1; }, kWaitMs);
    }

private:
    mutable std::mutex mutex_;
    std::vector<Completion> calls_;
};

std::string describe(const std::optional<Error>& error) {
    return error ? error->debugDescription().toStdString() : "no error";
}

// Runs one data task to its completion and checks that no second completion follows.
Completion fetch(const std::shared_ptr<UrlSession>& session, const QUrl& url) {
    Completions completions;
    session->dataTask(url, completions.recorder())->resume();
    EXPECT_TRUE(completions.waitForOne()) << url.toString().toStdString();
    if (completions.count() == 0) return {};
    spinEventLoop(100);
    EXPECT_EQ(completions.count(), 1) << url.toString().toStdString();
    return completions.first();
}

std::shared_ptr<UrlSession> sessionWith(qint64 maximumBodySize, int timeoutSeconds = 60) {
    UrlSessionConfiguration configuration = UrlSessionConfiguration::defaultSessionConfiguration();
    configuration.maximumResponseBodySize = maximumBodySize;
    configuration.timeoutIntervalForRequest = timeoutSeconds;
    return UrlSession::create(configuration);
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

quint16 portWhereNothingListens() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), length);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);  // bound but never listening: connecting is refused
    return ntohs(address.sin_port);
}

void expectFailure(const Completion& completion, qint64 code, const QUrl& url) {
    ASSERT_TRUE(completion.error) << url.toString().toStdString();
    EXPECT_TRUE(completion.error->is(kURLErrorDomain, code))
        << url.toString().toStdString() << ": " << describe(completion.error);
    EXPECT_TRUE(completion.data.isEmpty()) << url.toString().toStdString();
}

// What a download delegate saw; read from the main thread.
class DownloadRecorder : public UrlSessionDownloadDelegate {
public:
    void didWriteData(UrlSession&, UrlSessionDownloadTask&, qint64, qint64 total, qint64) override {
        written = total;
    }
    void didResumeAtOffset(UrlSession&, UrlSessionDownloadTask&, qint64 offset, qint64) override {
        resumedAt = offset;
    }
    void didFinishDownloadingToURL(UrlSession&, UrlSessionDownloadTask&,
                                   const QString& location) override {
        std::lock_guard lock(mutex);
        finishedSha256 = TestSite::sha256OfFile(location);
    }
    void didComplete(UrlSession&, UrlSessionTask&, const std::optional<Error>& error) override {
        std::lock_guard lock(mutex);
        errors.push_back(error);
    }
    int completions() {
        std::lock_guard lock(mutex);
        return static_cast<int>(errors.size());
    }

    std::atomic<qint64> written{0}, resumedAt{-1};
    std::mutex mutex;
    QByteArray finishedSha256;
    std::vector<std::optional<Error>> errors;
};

class UrlSessionTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { TestSite::shared(); }
    TestSite& site = TestSite::shared();
};

TEST_F(UrlSessionTest, DeliversTheSitesAnswersWholeOverHttps) {
    site.mediaFile("whole.bin", 1'500'000);
    const struct {
        QUrl url;
        QByteArray expected;
        QString finalPath;
    } cases[] = {
        // Compressed on the wire, handed over decompressed.
        {site.mainHostUrl("/get_video_info?video_id=AllStreams1&el=embedded&eurl=&hl=en"),
         TestSite::videoInfoAnswer("AllStreams1"), "/get_video_info"},
        {site.thumbnailUrl("AllStreams1"),
         readFile(TestSite::sourceDirectory() + "/thumbnails/hqdefault.jpg"),
         "/vi/AllStreams1/hqdefault.jpg"},
        // Larger than one read, behind a redirect that is followed.
        {site.redirectToMediaUrl("whole.bin"), readFile(site.mediaPath("whole.bin")),
         "/media/whole.bin"},
    };

    const auto session = UrlSession::sharedSession();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.url.toString().toStdString());
        ASSERT_FALSE(c.expected.isEmpty());
        const Completion completion = fetch(session, c.url);
        ASSERT_FALSE(completion.error) << describe(completion.error);
        ASSERT_TRUE(completion.response);
        EXPECT_EQ(completion.response->statusCode, 200);
        EXPECT_EQ(completion.response->url.path(), c.finalPath);
        EXPECT_TRUE(completion.data == c.expected) << completion.data.size() << " bytes";
    }
    // The query reached the site exactly as written, empty value and all.
    ASSERT_TRUE(waitUntil([&] { return site.accessLog().size() >= 4; }, kWaitMs));
    const AccessLogEntry info = site.accessLog().first();
    EXPECT_EQ(info.host.toStdString(), "www.youtube.com");
    EXPECT_EQ(info.target().toStdString(),
              "/get_video_info?video_id=AllStreams1&el=embedded&eurl=&hl=en");
    EXPECT_EQ(site.accessLog().at(1).host.toStdString(), "i.ytimg.com");
}

TEST_F(UrlSessionTest, CompletionRunsOnTheSessionQueueAndMayWaitForAnotherTransfer) {
    const auto first = sessionWith(1 << 20);
    const auto second = sessionWith(1 << 20);
    const QUrl url = site.statusUrl(404);
    std::promise<void> secondDone;
    auto secondFinished = secondDone.get_future();
    std::atomic<bool> onMainThread{true}, onSessionQueue{false}, secondArrived{false};

    std::atomic<int> calls{0};
    first
        ->dataTask(
            url,
            [&](const QByteArray&, const std::optional<UrlResponse>&, const std::optional<Error>&) {
                onMainThread = QThread::currentThread() == QCoreApplication::instance()->thread();
                onSessionQueue = first->delegateQueue()->isCurrent();
                // Blocking here would stall every transfer if completions ran on the engine thread.
                second->dataTask(url, [&](auto&&...) { secondDone.set_value(); })->resume();
                secondArrived =
                    secondFinished.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
                ++calls;
            })
        ->resume();

    ASSERT_TRUE(waitUntil([&] { return calls == 1; }, kWaitMs));
    EXPECT_FALSE(onMainThread);
    EXPECT_TRUE(onSessionQueue);
    EXPECT_TRUE(secondArrived);
}

TEST_F(UrlSessionTest, NothingListeningFailsOnceWithCannotConnectToHost) {
    const QUrl url(QStringLiteral("http://127.0.0.1:%1/").arg(portWhereNothingListens()));
    const Completion completion = fetch(UrlSession::sharedSession(), url);
    expectFailure(completion, URLError::CannotConnectToHost, url);
    EXPECT_FALSE(completion.response);
}

TEST_F(UrlSessionTest, AnswerOverTheSizeCapFailsWithDataLengthExceedsMaximum) {
    const auto session = sessionWith(1000);
    const QUrl exactly = site.mediaFile("cap-1000.bin", 1000);
    const Completion atTheCap = fetch(session, exactly);
    EXPECT_FALSE(atTheCap.error) << describe(atTheCap.error);
    EXPECT_EQ(atTheCap.data.size(), 1000);

    const QUrl over[] = {
        site.mediaFile("cap-1001.bin", 1001),  // announced by Content-Length
        // Chunked and compressed below the cap, but 1812 bytes once decompressed.
        site.mainHostUrl("/get_video_info?video_id=AllStreams1"),
    };
    for (const QUrl& url : over)
        expectFailure(fetch(session, url), URLError::DataLengthExceedsMaximum, url);
}

TEST_F(UrlSessionTest, RedirectsLeaveOnlyForHttpAndHttps) {
    expectFailure(fetch(UrlSession::sharedSession(), site.redirectToFileUrl()),
                  URLError::UnsupportedURL, site.redirectToFileUrl());
    expectFailure(fetch(UrlSession::sharedSession(), site.redirectToFtpUrl()),
                  URLError::UnsupportedURL, site.redirectToFtpUrl());
    expectFailure(fetch(UrlSession::sharedSession(), site.redirectLoopUrl()),
                  URLError::HTTPTooManyRedirects, site.redirectLoopUrl());
}

TEST_F(UrlSessionTest, RedirectFromHttpsToPlainHttpIsRefusedForDataAndMedia) {
    site.mediaFile("downgrade.bin", 5000);
    const QUrl secure = site.insecureRedirectToMediaUrl("downgrade.bin");
    expectFailure(fetch(UrlSession::sharedSession(), secure), URLError::RequiresSecureConnection,
                  secure);

    UrlSessionConfiguration configuration =
        UrlSessionConfiguration::ephemeralSessionConfiguration();
    configuration.temporaryDirectory = privateHome() + "/partial";
    const auto recorder = std::make_shared<DownloadRecorder>();
    const auto media = UrlSession::create(configuration, recorder);
    media->downloadTask(secure)->resume();
    ASSERT_TRUE(waitUntil([&] { return recorder->completions() == 1; }, kWaitMs));
    {
        std::lock_guard lock(recorder->mutex);
        ASSERT_TRUE(recorder->errors[0]);
        EXPECT_EQ(recorder->errors[0]->code(), URLError::RequiresSecureConnection)
            << describe(recorder->errors[0]);
        EXPECT_TRUE(recorder->finishedSha256.isEmpty());
    }

    // Begun over plain HTTP, the same redirect is followed: it exposes nothing new.
    QUrl plain = secure;
    plain.setScheme("http");
    const Completion followed = fetch(UrlSession::sharedSession(), plain);
    EXPECT_FALSE(followed.error) << describe(followed.error);
    EXPECT_EQ(followed.data, readFile(site.mediaPath("downgrade.bin")));
    // Only that request fetched the file.
    const auto fetches = [&] {
        int count = 0;
        for (const AccessLogEntry& entry : site.accessLog())
            count += entry.target() == "/media/downgrade.bin";
        return count;
    };
    ASSERT_TRUE(waitUntil([&] { return fetches() >= 1; }, kWaitMs));
    spinEventLoop(200);
    EXPECT_EQ(fetches(), 1);
}

TEST_F(UrlSessionTest, ErrorStatusArrivesAsDataWithItsStatus) {
    for (const int status : {403, 404, 416, 500}) {
        SCOPED_TRACE(status);
        const Completion completion = fetch(UrlSession::sharedSession(), site.statusUrl(status));
        EXPECT_FALSE(completion.error) << describe(completion.error);
        ASSERT_TRUE(completion.response);
        EXPECT_EQ(completion.response->statusCode, status);
        EXPECT_EQ(completion.data, TestSite::statusBody(status));
    }
}

TEST_F(UrlSessionTest, CancelCompletesOnceWithCancelled) {
    FaultServer& faults = site.faultServer();
    const auto session = UrlSession::sharedSession();

    // Mid-body: the server has sent part of the answer and waits.
    Completions running;
    const auto task = session->dataTask(faults.stallUrl(1'000'000, 4096), running.recorder());
    const int before = faults.requests().size();
    task->resume();
    ASSERT_TRUE(waitUntil([&] { return faults.requests().size() > before; }, kWaitMs));
    spinEventLoop(200);
    task->cancel();
    task->cancel();
    ASSERT_TRUE(running.waitForOne());
    expectFailure(running.first(), URLError::Cancelled, task->originalURL());
    EXPECT_TRUE(waitUntil([&] { return faults.openConnections() == 0; }, kWaitMs))
        << "the cancelled transfer still holds its connection";

    // Before it started: completes without a transfer, and resume() cannot revive it.
    Completions unstarted;
    const auto never = session->dataTask(site.statusUrl(404), unstarted.recorder());
    never->cancel();
    never->resume();
    ASSERT_TRUE(unstarted.waitForOne());
    expectFailure(unstarted.first(), URLError::Cancelled, never->originalURL());

    // After it finished: nothing changes.
    Completions finished;
    const auto done = session->dataTask(site.statusUrl(404), finished.recorder());
    done->resume();
    ASSERT_TRUE(finished.waitForOne());
    done->cancel();

    spinEventLoop(300);
    EXPECT_EQ(running.count(), 1);
    EXPECT_EQ(unstarted.count(), 1);
    EXPECT_EQ(finished.count(), 1);
    EXPECT_FALSE(finished.first().error) << describe(finished.first().error);
}

TEST_F(UrlSessionTest, CertificateTheBundleCannotVouchForFails) {
    const QUrl urls[] = {site.untrustedHostUrl("/"), site.mismatchedHostUrl("/status/404")};
    for (const QUrl& url : urls) {
        const Completion completion = fetch(UrlSession::sharedSession(), url);
        expectFailure(completion, URLError::ServerCertificateUntrusted, url);
        EXPECT_FALSE(completion.response);
    }
    spinEventLoop(200);
    for (const AccessLogEntry& entry : site.accessLog())
        EXPECT_FALSE(entry.host.endsWith(".clipmoor.test"))
            << "a request went past TLS: " << entry.request.toStdString();
}

TEST_F(UrlSessionTest, BodyEndingBeforeItsLengthFailsWithConnectionLost) {
    FaultServer& faults = site.faultServer();
    for (const QUrl& url : {faults.cutConnectionUrl(500'000, 100'000),
                            faults.shortBodyUrl(500'000, 100'000), faults.shortBodyUrl(10, 0)}) {
        expectFailure(fetch(UrlSession::sharedSession(), url), URLError::NetworkConnectionLost,
                      url);
    }
}

TEST_F(UrlSessionTest, SilentServerTimesOut) {
    FaultServer& faults = site.faultServer();
    const auto session = sessionWith(1 << 20, 1);
    for (const QUrl& url : {faults.stallUrl(1000), faults.stallUrl(100'000, 5000)})
        expectFailure(fetch(session, url), URLError::TimedOut, url);
}

TEST_F(UrlSessionTest, TricklingServerTimesOutAtTheTotalLimit) {
    FaultServer& faults = site.faultServer();
    UrlSessionConfiguration configuration = UrlSessionConfiguration::defaultSessionConfiguration();
    configuration.timeoutIntervalForRequest = 60;  // the server is never silent that long
    configuration.timeoutIntervalForResource = 2;
    const QUrl url = faults.trickleUrl(1'000'000, 100);  // would take more than a day
    expectFailure(fetch(UrlSession::create(configuration), url), URLError::TimedOut, url);
    EXPECT_TRUE(waitUntil([&] { return faults.openConnections() == 0; }, kWaitMs))
        << "the timed-out transfer still holds its connection";
}

TEST_F(UrlSessionTest, PausedDownloadContinuesFromItsPartialFile) {
    site.mediaFile("paused.bin", 400'000);
    const QUrl url = site.slowMediaUrl("paused.bin", 200'000);
    UrlSessionConfiguration configuration =
        UrlSessionConfiguration::ephemeralSessionConfiguration();
    configuration.temporaryDirectory = privateHome() + "/partial";
    const auto recorder = std::make_shared<DownloadRecorder>();
    const auto session = UrlSession::create(configuration, recorder);

    ::umask(022);
    const auto first = session->downloadTask(url);
    first->resume();
    ASSERT_TRUE(waitUntil([&] { return recorder->written >= 50'000; }, kWaitMs));
    // What is being downloaded is nobody else's business, whatever the umask.
    struct stat folder {};
    ASSERT_EQ(::stat(QFile::encodeName(configuration.temporaryDirectory).constData(), &folder), 0);
    EXPECT_EQ(folder.st_mode & 0777, 0700u);
    std::promise<QByteArray> paused;
    auto pausedData = paused.get_future();
    first->cancelByProducingResumeData([&](const QByteArray& data) { paused.set_value(data); });
    ASSERT_TRUE(waitUntil([&] { return recorder->completions() == 1; }, kWaitMs));
    ASSERT_EQ(pausedData.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    const QByteArray resumeData = pausedData.get();
    ASSERT_FALSE(resumeData.isEmpty());
    const QByteArray entityTag = first->response()->headerValue("ETag");

    session->downloadTask(resumeData)->resume();
    ASSERT_TRUE(waitUntil([&] { return recorder->completions() == 2; }, kWaitMs));
    std::lock_guard lock(recorder->mutex);
    EXPECT_TRUE(recorder->errors[0] && recorder->errors[0]->code() == URLError::Cancelled);
    ASSERT_FALSE(recorder->errors[1]) << describe(recorder->errors[1]);
    EXPECT_GE(recorder->resumedAt, 50'000);
    EXPECT_EQ(recorder->finishedSha256, site.sha256OfMedia("paused.bin"));
    AccessLogEntry resumed;
    ASSERT_TRUE(waitUntil(
        [&] {
            for (const AccessLogEntry& entry : site.accessLog())
                if (entry.target().startsWith("/slow/media/paused.bin") && !entry.range.isEmpty())
                    resumed = entry;
            return !resumed.range.isEmpty();
        },
        kWaitMs));
    EXPECT_EQ(resumed.range.toStdString(), "bytes=" + std::to_string(recorder->resumedAt) + "-");
    EXPECT_EQ(resumed.ifRange.toStdString(), entityTag.toStdString());
}

// Run in a child process by the next test: downloads at full speed, then ends the process.
TEST_F(UrlSessionTest, ExitChildEndsTheProcessMidTransfer) {
    if (qEnvironmentVariableIsEmpty("CLIPMOOR_EXIT_MID_TRANSFER")) GTEST_SKIP();
    site.mediaFile("exit.bin", 64 * 1024 * 1024);
    const auto recorder = std::make_shared<DownloadRecorder>();
    UrlSessionConfiguration configuration =
        UrlSessionConfiguration::ephemeralSessionConfiguration();
    const auto session = UrlSession::create(configuration, recorder);
    for (int i = 0; i < 4; ++i) session->downloadTask(site.mediaUrl("exit.bin"))->resume();
    ASSERT_TRUE(waitUntil([&] { return recorder->written >= 1'000'000; }, kWaitMs));
    std::exit(0);  // transfers are still running on the engine thread
}

TEST_F(UrlSessionTest, EndingTheProcessWhileTransfersRunIsClean) {
    for (int round = 0; round < 3; ++round) {
        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("CLIPMOOR_EXIT_MID_TRANSFER", "1");
        child.setProcessEnvironment(environment);
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QCoreApplication::applicationFilePath(),
                    {"--gtest_filter=UrlSessionTest.ExitChildEndsTheProcessMidTransfer"});
        ASSERT_TRUE(child.waitForFinished(60'000));
        EXPECT_EQ(child.exitStatus(), QProcess::NormalExit) << "round " << round;
        EXPECT_EQ(child.exitCode(), 0) << "round " << round;
    }
}

}  // namespace
}  // namespace clipmoor::test
