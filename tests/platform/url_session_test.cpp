// Data tasks against the real test site (nginx over TLS) and the fault server, and the transfer
// engine at the end of the process.
#include <QCoreApplication>
#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

#include <chrono>
#include <future>

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

// Every completion a data task delivered, in order, recorded on the main thread.
struct Completions {
    std::shared_ptr<std::vector<Completion>> calls = std::make_shared<std::vector<Completion>>();

    UrlSession::DataCompletion recorder() const {
        return [calls = calls](const QByteArray& data, const std::optional<UrlResponse>& response,
                               const std::optional<Error>& error) {
            QMetaObject::invokeMethod(qApp, [=] { calls->push_back({data, response, error}); });
        };
    }
    bool waitForOne() const {
        return waitUntil([this] { return !calls->empty(); }, kWaitMs);
    }
};

std::string describe(const std::optional<Error>& error) {
    return error ? error->debugDescription().toStdString() : "no error";
}

// Runs one data task to its completion and checks that no second completion follows.
Completion fetch(const std::shared_ptr<UrlSession>& session, const QUrl& url) {
    Completions completions;
    session->dataTask(url, completions.recorder())->resume();
    EXPECT_TRUE(completions.waitForOne()) << url.toString().toStdString();
    if (completions.calls->empty()) return {};
    spinEventLoop(100);
    EXPECT_EQ(completions.calls->size(), 1u) << url.toString().toStdString();
    return completions.calls->front();
}

std::shared_ptr<UrlSession> sessionWith(qint64 maximumBodySize, int silenceSeconds = 60,
                                        int totalSeconds = 60) {
    UrlSessionConfiguration configuration = UrlSessionConfiguration::defaultSessionConfiguration();
    configuration.maximumResponseBodySize = maximumBodySize;
    configuration.timeoutIntervalForRequest = silenceSeconds;
    configuration.timeoutIntervalForResource = totalSeconds;
    return UrlSession::create(configuration);
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void expectFailure(const Completion& completion, qint64 code, const QUrl& url) {
    ASSERT_TRUE(completion.error) << url.toString().toStdString();
    EXPECT_TRUE(completion.error->is(kURLErrorDomain, code))
        << url.toString().toStdString() << ": " << describe(completion.error);
    EXPECT_TRUE(completion.data.isEmpty()) << url.toString().toStdString();
}

class UrlSessionTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { TestSite::shared(); }
    TestSite& site = TestSite::shared();
};

TEST_F(UrlSessionTest, DeliversEachAnswerWholeWithItsStatus) {
    site.mediaFile("whole.bin", 1'500'000);
    site.mediaFile("downgrade.bin", 5000);
    QUrl plainRedirect = site.insecureRedirectToMediaUrl("downgrade.bin");
    plainRedirect.setScheme("http");  // begun over plain HTTP, it exposes nothing new
    const auto shared = UrlSession::sharedSession();
    const auto capped = sessionWith(1000);
    const struct {
        QUrl url;
        QByteArray expected;
        QString finalPath;
        int status = 200;
        std::shared_ptr<UrlSession> session = nullptr;
    } cases[] = {
        // Compressed on the wire, handed over decompressed.
        {site.mainHostUrl("/get_video_info?video_id=AllStreams1&el=embedded&eurl=&hl=en"),
         TestSite::videoInfoAnswer("AllStreams1"), "/get_video_info"},
        // Larger than one read, behind a redirect that is followed.
        {site.redirectToMediaUrl("whole.bin"), readFile(site.mediaPath("whole.bin")),
         "/media/whole.bin"},
        {plainRedirect, readFile(site.mediaPath("downgrade.bin")), "/media/downgrade.bin"},
        {site.mediaFile("cap-1000.bin", 1000), readFile(site.mediaPath("cap-1000.bin")),
         "/media/cap-1000.bin", 200, capped},
        {site.statusUrl(500), TestSite::statusBody(500), "/status/500", 500},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.url.toString().toStdString());
        ASSERT_FALSE(c.expected.isEmpty());
        const Completion completion = fetch(c.session ? c.session : shared, c.url);
        ASSERT_FALSE(completion.error) << describe(completion.error);
        ASSERT_TRUE(completion.response);
        EXPECT_EQ(completion.response->statusCode, c.status);
        EXPECT_EQ(completion.response->url.path(), c.finalPath);
        EXPECT_TRUE(completion.data == c.expected) << completion.data.size() << " bytes";
    }
}

TEST_F(UrlSessionTest, CompletionRunsOnTheSessionQueueAndMayWaitForAnotherTransfer) {
    const auto first = sessionWith(1 << 20);
    const auto second = sessionWith(1 << 20);
    const QUrl url = site.statusUrl(404);
    std::promise<void> secondDone;
    auto secondFinished = secondDone.get_future();
    std::atomic<bool> onSessionQueue{false}, secondArrived{false}, done{false};
    const auto completion = [&](auto&&...) {
        onSessionQueue = first->delegateQueue()->isCurrent();
        // Blocking here would stall every transfer if completions ran on the engine thread.
        second->dataTask(url, [&](auto&&...) { secondDone.set_value(); })->resume();
        secondArrived =
            secondFinished.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
        done = true;
    };
    first->dataTask(url, completion)->resume();
    ASSERT_TRUE(waitUntil([&] { return done.load(); }, kWaitMs));
    EXPECT_TRUE(onSessionQueue);
    EXPECT_TRUE(secondArrived);
}

TEST_F(UrlSessionTest, FaultsFailOnceWithTheirCodeAndLeaveNoConnectionOpen) {
    FaultServer& faults = site.faultServer();
    const auto shared = UrlSession::sharedSession();
    const auto capped = sessionWith(1000);
    const auto impatient = sessionWith(1 << 20, 1);
    // Never silent for a second, but past the total limit.
    const auto limited = sessionWith(1 << 20, 60, 2);
    const struct {
        QUrl url;
        qint64 code;
        std::shared_ptr<UrlSession> session;
    } cases[] = {
        {QUrl("http://127.0.0.1:9/"), URLError::CannotConnectToHost, shared},  // nothing listens
        {site.mediaFile("cap-1001.bin", 1001), URLError::DataLengthExceedsMaximum, capped},
        // Chunked and compressed below the cap, but 1812 bytes once decompressed.
        {site.mainHostUrl("/get_video_info?video_id=AllStreams1"),
         URLError::DataLengthExceedsMaximum, capped},
        {site.redirectToFileUrl(), URLError::UnsupportedURL, shared},
        {site.redirectToFtpUrl(), URLError::UnsupportedURL, shared},
        {site.redirectLoopUrl(), URLError::HTTPTooManyRedirects, shared},
        {site.insecureRedirectToMediaUrl("downgrade.bin"), URLError::RequiresSecureConnection,
         shared},
        {site.untrustedHostUrl("/"), URLError::ServerCertificateUntrusted, shared},
        {site.mismatchedHostUrl("/status/404"), URLError::ServerCertificateUntrusted, shared},
        {faults.cutConnectionUrl(500'000, 100'000), URLError::NetworkConnectionLost, shared},
        {faults.shortBodyUrl(500'000, 100'000), URLError::NetworkConnectionLost, shared},
        {faults.stallUrl(100'000, 5000), URLError::TimedOut, impatient},
        {faults.trickleUrl(1'000'000, 100), URLError::TimedOut, limited},  // more than a day
    };
    for (const auto& c : cases) expectFailure(fetch(c.session, c.url), c.code, c.url);

    EXPECT_TRUE(waitUntil([&] { return faults.openConnections() == 0; }, kWaitMs))
        << "a failed transfer still holds its connection";
    for (const AccessLogEntry& entry : site.accessLog()) {
        EXPECT_FALSE(entry.host.endsWith(".clipmoor.test"))
            << "a request went past TLS: " << entry.request.toStdString();
        EXPECT_NE(entry.target(), "/media/downgrade.bin") << "the downgrade was followed";
    }
}

TEST_F(UrlSessionTest, CancelCompletesOnceWithCancelled) {
    FaultServer& faults = site.faultServer();
    const auto session = UrlSession::sharedSession();

    // Mid-body: the server has sent part of the answer and waits.
    Completions running;
    const auto task = session->dataTask(faults.stallUrl(1'000'000, 4096), running.recorder());
    task->resume();
    ASSERT_TRUE(waitUntil([&] { return !faults.requests().isEmpty(); }, kWaitMs));
    spinEventLoop(200);
    task->cancel();
    task->cancel();
    ASSERT_TRUE(running.waitForOne());
    expectFailure(running.calls->front(), URLError::Cancelled, task->originalURL());
    EXPECT_TRUE(waitUntil([&] { return faults.openConnections() == 0; }, kWaitMs))
        << "the cancelled transfer still holds its connection";

    // Before it started: completes without a transfer, and resume() cannot revive it.
    Completions unstarted;
    const auto never = session->dataTask(site.statusUrl(404), unstarted.recorder());
    never->cancel();
    never->resume();
    ASSERT_TRUE(unstarted.waitForOne());
    expectFailure(unstarted.calls->front(), URLError::Cancelled, never->originalURL());

    // After it finished: nothing changes.
    Completions finished;
    const auto done = session->dataTask(site.statusUrl(404), finished.recorder());
    done->resume();
    ASSERT_TRUE(finished.waitForOne());
    done->cancel();
    EXPECT_EQ(done->response().value().statusCode, 404);

    spinEventLoop(300);
    for (const Completions* completions : {&running, &unstarted, &finished})
        EXPECT_EQ(completions->calls->size(), 1u);
}

// Run in a child process by the next test: downloads at full speed, then ends the process.
TEST_F(UrlSessionTest, ExitChildEndsTheProcessMidTransfer) {
    if (qEnvironmentVariableIsEmpty("CLIPMOOR_EXIT_MID_TRANSFER")) GTEST_SKIP();
    struct Progress : UrlSessionDownloadDelegate {
        void didWriteData(UrlSession&, UrlSessionDownloadTask&, qint64, qint64 total,
                          qint64) override {
            written = total;
        }
        std::atomic<qint64> written{0};
    };
    site.mediaFile("exit.bin", 64 * 1024 * 1024);
    const auto progress = std::make_shared<Progress>();
    const auto session =
        UrlSession::create(UrlSessionConfiguration::ephemeralSessionConfiguration(), progress);
    for (int i = 0; i < 4; ++i) session->downloadTask(site.mediaUrl("exit.bin"))->resume();
    ASSERT_TRUE(waitUntil([&] { return progress->written >= 1'000'000; }, kWaitMs));
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
