// Lookups against the local copy of the site: the request on the wire, and how each kind of
// answer reaches the caller.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>

#include "extractor/vx_youtube_extractor.h"
#include "platform/http/url_error.h"
#include "test_environment.h"
#include "test_site.h"

namespace clipmoor {
namespace {

using test::TestSite;
using test::waitUntil;

struct LookupResult {
    int calls = 0;
    bool onMainThread = false;
    std::optional<StreamMap> videos;
    std::optional<Error> error;
};

class ExtractorSiteTest : public testing::Test {
protected:
    static void SetUpTestSuite() { TestSite::shared(); }

    // Starts a lookup; the result fills in when its completion has run.
    std::shared_ptr<LookupResult> lookUp(const std::optional<QString>& identifier) {
        auto result = std::make_shared<LookupResult>();
        VXYouTubeExtractor::sharedInstance().extractVideoForIdentifier(
            identifier,
            [result](const std::optional<StreamMap>& videos, const std::optional<Error>& error) {
                ++result->calls;
                result->onMainThread = QThread::currentThread() == qApp->thread();
                result->videos = videos;
                result->error = error;
            });
        return result;
    }

    // A lookup that must complete exactly once, on the main thread.
    std::shared_ptr<LookupResult> lookUpAndWait(const QString& identifier) {
        auto result = lookUp(identifier);
        EXPECT_TRUE(waitUntil([&] { return result->calls > 0; }));
        test::spinEventLoop(50);  // a second call would arrive by now
        EXPECT_EQ(result->calls, 1);
        EXPECT_TRUE(result->onMainThread);
        return result;
    }
};

TEST_F(ExtractorSiteTest, AnAnswerOrAnErrorPageReachesTheCallerOnceOnTheMainThread) {
    const struct {
        QString identifier;
        QStringList streams;  // the offered streams; none when the lookup fails
        int status = 0;
    } rows[] = {
        {"AllStreams1", {"140", "18", "22", "36"}},
        // An error page fails like a transport error, even one that reads like an answer.
        {"ServerError5", {}, 500},
        {"NoSuchVideo1", {}, 404},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.identifier.toStdString());
        VXYouTubeExtractor::sharedInstance().setAttemptType(2);
        const auto result = lookUpAndWait(row.identifier);
        if (!row.streams.isEmpty()) {
            ASSERT_TRUE(result->videos) << result->error->debugDescription().toStdString();
            QStringList streams = result->videos->keys();
            streams.sort();
            EXPECT_EQ(streams, row.streams);
            EXPECT_EQ(VXYouTubeExtractor::sharedInstance().attemptType(), 2u);  // left as it was
            continue;
        }
        EXPECT_FALSE(result->videos);
        ASSERT_TRUE(result->error);
        EXPECT_TRUE(result->error->is(kURLErrorDomain, URLError::BadServerResponse))
            << result->error->debugDescription().toStdString();
        EXPECT_EQ(result->error->userInfo().value(kHTTPStatusCodeErrorKey).toInt(), row.status);
        EXPECT_EQ(VXYouTubeExtractor::sharedInstance().attemptType(), 0u);
    }
}

TEST_F(ExtractorSiteTest, RequestCarriesTheAttemptTypesParametersAndTheIdentifierAsGiven) {
    const QString common = "&ps=default&eurl=&gl=US&hl=" + VXYouTubeExtractor::hostLanguageCode();
    const struct {
        quint64 attemptType;
        QString identifier;
        QString query;  // as it must arrive, up to the parameters every request carries
    } rows[] = {
        {0, "Attempt0", "el=embedded&video_id=Attempt0"},
        {1, "Attempt1", "el=detailpage&video_id=Attempt1"},
        {2, "Attempt2", "el=vevo&video_id=Attempt2"},
        {3, "Attempt3", "el=&video_id=Attempt3"},
        {7, "Odd&x=y z#", "video_id=Odd&x=y%20z%23"},  // "&" and "=" go out unescaped
    };
    for (const auto& row : rows) {
        VXYouTubeExtractor::sharedInstance().setAttemptType(row.attemptType);
        lookUpAndWait(row.identifier);
        const QString target = "/get_video_info?" + row.query + common;
        EXPECT_TRUE(waitUntil([&] {
            const auto log = TestSite::shared().accessLog();
            return std::any_of(log.begin(), log.end(),
                               [&](const auto& e) { return e.target() == target; });
        })) << target.toStdString();
    }
}

TEST_F(ExtractorSiteTest, EmptyIdentifierFailsBeforeTheCallReturns) {
    for (const std::optional<QString>& identifier :
         {std::optional<QString>(), std::optional<QString>("")}) {
        const auto result = lookUp(identifier);
        EXPECT_EQ(result->calls, 1);  // synchronous
        ASSERT_TRUE(result->error);
        EXPECT_EQ(result->error->code(), 400);
        EXPECT_EQ(result->error->failureReason(), "Invalid or missing YouTube video identifier");
    }
}

TEST_F(ExtractorSiteTest, AttemptTypeFourFailsWith404OnTheMainThreadAndResetsToOne) {
    VXYouTubeExtractor::sharedInstance().setAttemptType(4);
    const auto result = lookUp("NoRequest4");
    EXPECT_EQ(result->calls, 0);  // scheduled, not yet run
    EXPECT_EQ(VXYouTubeExtractor::sharedInstance().attemptType(), 1u);
    ASSERT_TRUE(waitUntil([&] { return result->calls == 1; }));
    EXPECT_TRUE(result->onMainThread);
    EXPECT_EQ(result->error->code(), 404);
    EXPECT_EQ(result->error->failureReason(), "Unable to find playable content");
    test::spinEventLoop(200);
    for (const QString& request : TestSite::shared().accessLogRequests())
        EXPECT_FALSE(request.contains("NoRequest4"));
}

}  // namespace
}  // namespace clipmoor
