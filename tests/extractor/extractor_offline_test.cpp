// Lookups when the site cannot be reached: this suite never starts the local site, so the
// site's hosts point at a closed loopback port.
#include <gtest/gtest.h>

#include "extractor/vx_youtube_extractor.h"
#include "platform/http/url_error.h"
#include "test_environment.h"

namespace clipmoor {
namespace {

TEST(ExtractorOfflineTest, TransportFailureIsPassedOnOnceAndResetsTheAttemptType) {
    VXYouTubeExtractor::sharedInstance().setAttemptType(2);
    int calls = 0;
    std::optional<Error> reported;
    VXYouTubeExtractor::sharedInstance().extractVideoForIdentifier(
        QString("AllStreams1"),
        [&](const std::optional<StreamMap>& videos, const std::optional<Error>& error) {
            ++calls;
            EXPECT_FALSE(videos);
            reported = error;
        });
    ASSERT_TRUE(test::waitUntil([&] { return calls > 0; }));
    test::spinEventLoop(100);
    EXPECT_EQ(calls, 1);
    ASSERT_TRUE(reported);
    EXPECT_EQ(reported->domain(), kURLErrorDomain);
    EXPECT_EQ(reported->code(), URLError::CannotConnectToHost);
    EXPECT_EQ(VXYouTubeExtractor::sharedInstance().attemptType(), 0u);
}

}  // namespace
}  // namespace clipmoor
