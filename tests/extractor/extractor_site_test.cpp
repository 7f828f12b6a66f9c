// Lookups against the local copy of the site.
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
    void SetUp() override { VXYouTubeExtractor::sharedInstance().setAttemptType(0); }

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

    std::shared_ptr<LookupResult> lookUpAndWait(const QString& identifier) {
        auto result = lookUp(identifier);
        EXPECT_TRUE(waitUntil([&] { return result->calls > 0; }));
        test::spinEventLoop(50);  // a second call would arrive by now
        EXPECT_EQ(result->calls, 1);
        EXPECT_TRUE(result->onMainThread);
        return result;
    }

    // The request target nginx logged for `identifier`, once it has logged it.
    QString loggedTarget(const QString& identifier) {
        QString target;
        waitUntil([&] {
            for (const auto& entry : TestSite::shared().accessLog())
                if (entry.target().contains("video_id=" + identifier)) target = entry.target();
            return !target.isEmpty();
        });
        return target;
    }
};

TEST_F(ExtractorSiteTest, VideoWithEveryStreamOffersTheFourKeptStreams) {
    const auto result = lookUpAndWait("AllStreams1");
    ASSERT_FALSE(result->error) << result->error->debugDescription().toStdString();
    ASSERT_TRUE(result->videos);
    EXPECT_EQ(QSet<QString>(result->videos->keyBegin(), result->videos->keyEnd()),
              (QSet<QString>{"22", "18", "36", "140"}));
    const StreamDictionary stream = result->videos->value("22");
    EXPECT_EQ(stream.value("title"), "Test pattern: all formats");
    EXPECT_EQ(stream.value("author"), "Clipmoor Test Channel");
    EXPECT_EQ(stream.value("id"), "AllStreams1");
    EXPECT_TRUE(stream.value("url").startsWith("https://www.youtube.com/media/"));
}

TEST_F(ExtractorSiteTest, VideoWithSomeStreamsKeepsOnlyThose) {
    const auto result = lookUpAndWait("SomeStreams");
    ASSERT_TRUE(result->videos);
    EXPECT_EQ(QSet<QString>(result->videos->keyBegin(), result->videos->keyEnd()),
              (QSet<QString>{"18", "140"}));
}

TEST_F(ExtractorSiteTest, MalformedAnswerStillYieldsTheWellFormedStreams) {
    const auto result = lookUpAndWait("MalformedEn");
    ASSERT_TRUE(result->videos);
    EXPECT_EQ(QSet<QString>(result->videos->keyBegin(), result->videos->keyEnd()),
              (QSet<QString>{"22", "18", "36", "140"}));
    EXPECT_FALSE(result->videos->value("18").contains("quality"));
    EXPECT_FALSE(result->videos->value("36").contains("url"));
}

TEST_F(ExtractorSiteTest, RefusalReportsCode150WithTheSitesReason) {
    VXYouTubeExtractor::sharedInstance().setAttemptType(2);
    const auto result = lookUpAndWait("RefusedVid1");
    ASSERT_TRUE(result->error);
    EXPECT_EQ(result->error->domain(), kVXYouTubeExtractorErrorDomain);
    EXPECT_EQ(result->error->code(), 150);
    EXPECT_EQ(result->error->failureReason(), "This video is private");
    EXPECT_EQ(VXYouTubeExtractor::sharedInstance().attemptType(), 2u);  // left as it was
}

TEST_F(ExtractorSiteTest, ErrorStatusIsAFailedLookupLikeATransportError) {
    const struct {
        QString identifier;
        int status;
    } rows[] = {{"ServerError5", 500},   // its body reads like an answer offering stream 18
                {"NoSuchVideo1", 404}};  // nginx's own error page
    for (const auto& row : rows) {
        SCOPED_TRACE(row.identifier.toStdString());
        VXYouTubeExtractor::sharedInstance().setAttemptType(2);
        const auto result = lookUpAndWait(row.identifier);
        EXPECT_FALSE(result->videos);
        ASSERT_TRUE(result->error);
        EXPECT_EQ(result->error->domain(), kURLErrorDomain);
        EXPECT_EQ(result->error->code(), URLError::BadServerResponse);
        EXPECT_EQ(result->error->userInfo().value(kHTTPStatusCodeErrorKey).toInt(), row.status);
        EXPECT_EQ(VXYouTubeExtractor::sharedInstance().attemptType(),
                  0u);  // as after a transport error
    }
}

TEST_F(ExtractorSiteTest, AnswerThatIsNotAsciiIsAnErrorReportedOnce) {
    const auto result = lookUpAndWait("NonAsciiVid");
    EXPECT_FALSE(result->videos);
    ASSERT_TRUE(result->error);
    EXPECT_EQ(result->error->code(), VXYouTubeExtractorError::UnreadableAnswer);
}

TEST_F(ExtractorSiteTest, RequestCarriesTheParametersOfTheAttemptType) {
    const QString language = VXYouTubeExtractor::hostLanguageCode();
    const struct {
        quint64 attempt;
        QString identifier;
        QString el;  // the "el" pair as it must arrive, empty when absent
    } rows[] = {{0, "Attempt0", "el=embedded&"},
                {1, "Attempt1", "el=detailpage&"},
                {2, "Attempt2", "el=vevo&"},
                {3, "Attempt3", "el=&"},
                {5, "Attempt5", ""},
                {7, "Attempt7", ""}};
    for (const auto& row : rows) {
        VXYouTubeExtractor::sharedInstance().setAttemptType(row.attempt);
        lookUpAndWait(row.identifier);
        EXPECT_EQ(loggedTarget(row.identifier), "/get_video_info?" + row.el +
                                                    "video_id=" + row.identifier +
                                                    "&ps=default&eurl=&gl=US&hl=" + language)
            << "attempt type " << row.attempt;
    }
}

TEST_F(ExtractorSiteTest, IdentifierIsSentWithoutEscapingAmpersandOrEquals) {
    lookUpAndWait("Odd&x=y z");
    EXPECT_TRUE(loggedTarget("Odd").contains("video_id=Odd&x=y%20z&ps=default"));
}

TEST_F(ExtractorSiteTest, EmptyIdentifierFailsBeforeTheCallReturnsWithoutARequest) {
    TestSite::shared().clearAccessLog();
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
    TestSite::shared().clearAccessLog();
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
