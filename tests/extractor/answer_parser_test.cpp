#include <gtest/gtest.h>

#include "extractor/vx_youtube_extractor.h"
#include "extractor/youtube_video.h"

namespace clipmoor {
namespace {

QByteArray entry(const QString& itag, const QString& extra = {}) {
    QString text = "itag=" + itag + "&url=https%3A%2F%2Fwww.youtube.com%2Fmedia%2F" + itag +
                   ".mp4%3Fsig%3D1" + "&type=video%2Fmp4%3B+codecs%3D%22avc1%22";
    if (!extra.isEmpty()) text += "&" + extra;
    return QUrl::toPercentEncoding(text);
}

QByteArray answer(const QList<QByteArray>& main, const QList<QByteArray>& adaptive = {},
                  const QByteArray& extra = "&title=A+Title&author=Some%20One&status=ok") {
    QByteArray body = "url_encoded_fmt_stream_map=" + main.join("%2C");
    if (!adaptive.isEmpty()) body += "&adaptive_fmts=" + adaptive.join("%2C");
    return body + extra;
}

TEST(VideoInfoAnswerTest, KeepsOfferedStreamsWithTheVideosTitleAuthorAndIdentifier) {
    const auto [videos, error] = VXYouTubeExtractor::parseVideoInfoAnswer(
        answer({entry("18", "title=Entry+Own+Title&quality=medium"), entry("137")}, {entry("140")}),
        "abc");
    ASSERT_FALSE(error);
    ASSERT_TRUE(videos);
    EXPECT_EQ(QSet<QString>(videos->keyBegin(), videos->keyEnd()), (QSet<QString>{"18", "140"}));
    const StreamDictionary& stream = videos->value("18");
    EXPECT_EQ(stream.value("title"), "A Title");
    EXPECT_EQ(stream.value("author"), "Some One");
    EXPECT_EQ(stream.value("id"), "abc");
    EXPECT_EQ(stream.value("quality"), "medium");
    EXPECT_EQ(stream.value("url"), "https://www.youtube.com/media/18.mp4?sig=1");
    EXPECT_EQ(stream.value("type"), "video/mp4; codecs=\"avc1\"");

    const YouTubeVideo typed(stream);
    EXPECT_EQ(typed.videoID, "abc");
    EXPECT_EQ(typed.downloadURL, QUrl("https://www.youtube.com/media/18.mp4?sig=1"));
    EXPECT_FALSE(typed.isAudio);
    EXPECT_FALSE(typed.uuid.isNull());
}

TEST(VideoInfoAnswerTest, AdaptiveEntryReplacesMainEntryOfSameItag) {
    const auto [videos, error] = VXYouTubeExtractor::parseVideoInfoAnswer(
        answer({entry("22", "quality=hd720")}, {entry("22", "quality=adaptive")}), "id");
    ASSERT_TRUE(videos);
    EXPECT_EQ(videos->value("22").value("quality"), "adaptive");
}

TEST(VideoInfoAnswerTest, MissingTitleAndAuthorAreRemovedFromStreams) {
    const auto [videos, error] = VXYouTubeExtractor::parseVideoInfoAnswer(
        answer({entry("36", "title=Own&author=Own")}, {}, "&status=ok"), "id");
    ASSERT_TRUE(videos);
    EXPECT_FALSE(videos->value("36").contains("title"));
    EXPECT_FALSE(videos->value("36").contains("author"));
}

TEST(VideoInfoAnswerTest, RefusalCarriesTheSitesReasonWithPlusAsSpace) {
    const auto [videos, error] = VXYouTubeExtractor::parseVideoInfoAnswer(
        "status=fail&reason=Not+available&errorcode=150", "id");
    EXPECT_FALSE(videos);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->domain(), "com.halvenmoor.vxyoutubeextractor");
    EXPECT_EQ(error->code(), 150);
    EXPECT_EQ(error->failureReason(), "Not available");
}

TEST(VideoInfoAnswerTest, AnswersWithoutUsableStreamsGiveAnEmptyMap) {
    for (const QByteArray& body :
         {QByteArray("status=ok&title=T"), QByteArray(""),
          QByteArray("url_encoded_fmt_stream_map=&adaptive_fmts="),
          QByteArray("url_encoded_fmt_stream_map=url%3Dx%2Cquality%3D%25ZZ"),
          QByteArray("url_encoded_fmt_stream_map=%ZZ")}) {
        const auto [videos, error] = VXYouTubeExtractor::parseVideoInfoAnswer(body, "id");
        EXPECT_FALSE(error) << body.constData();
        ASSERT_TRUE(videos) << body.constData();
        EXPECT_TRUE(videos->isEmpty()) << body.constData();
    }
}

TEST(VideoInfoAnswerTest, TextThatIsNotAsciiIsAClearError) {
    const auto [videos, error] =
        VXYouTubeExtractor::parseVideoInfoAnswer(QByteArray("status=ok&title=\xC3\xA9"), "id");
    EXPECT_FALSE(videos);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code(), VXYouTubeExtractorError::UnreadableAnswer);
}

}  // namespace
}  // namespace clipmoor
