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
        answer({entry("18", "title=Entry+Own+Title&quality=medium"), entry("22", "quality=hd720"),
                entry("137"), entry("3%36")},  // an itag may come escaped
               {entry("140"), entry("22", "quality=adaptive")}),
        "abc");
    ASSERT_FALSE(error);
    ASSERT_TRUE(videos);
    EXPECT_EQ(QSet<QString>(videos->keyBegin(), videos->keyEnd()),
              (QSet<QString>{"18", "22", "36", "140"}));
    EXPECT_EQ(videos->value("22").value("quality"), "adaptive");  // the adaptive entry wins
    const StreamDictionary& stream = videos->value("18");
    EXPECT_EQ(stream, (StreamDictionary{{"itag", "18"},
                                        {"title", "A Title"},
                                        {"author", "Some One"},
                                        {"id", "abc"},
                                        {"quality", "medium"},
                                        {"url", "https://www.youtube.com/media/18.mp4?sig=1"},
                                        {"type", "video/mp4; codecs=\"avc1\""}}));

    const YouTubeVideo typed(stream);
    EXPECT_EQ(typed.videoID, "abc");
    EXPECT_EQ(typed.downloadURL, QUrl("https://www.youtube.com/media/18.mp4?sig=1"));
    EXPECT_FALSE(typed.isAudio);
    EXPECT_FALSE(typed.uuid.isNull());
}

TEST(VideoInfoAnswerTest, MissingTitleAndAuthorAreRemovedFromStreams) {
    const auto [videos, error] = VXYouTubeExtractor::parseVideoInfoAnswer(
        answer({entry("36", "title=Own&author=Own")}, {}, "&status=ok"), "id");
    ASSERT_TRUE(videos);
    EXPECT_FALSE(videos->value("36").contains("title"));
    EXPECT_FALSE(videos->value("36").contains("author"));
}

// A hostile answer may name thousands of keys that read as an offered number ("18x1").
TEST(VideoInfoAnswerTest, ManyKeysThatReadAsAnOfferedNumberKeepOnlyABoundedNumber) {
    QList<QByteArray> entries;
    for (int i = 0; i < 5000; ++i) entries += entry("18x" + QString::number(i));
    entries += entry("18", "quality=medium");
    const auto [videos, error] = VXYouTubeExtractor::parseVideoInfoAnswer(answer(entries), "id");
    ASSERT_TRUE(videos);
    EXPECT_LT(videos->size(), 100);
    EXPECT_EQ(videos->value("18").value("quality"), "medium");  // never crowded out
}

// Without usable streams the answer gives an empty map; a refusal fails with the site's reason
// ("+" read as a space), and so does text that is not ASCII, with a reason of its own.
TEST(VideoInfoAnswerTest, AnswersWithoutUsableStreamsGiveAnEmptyMapOrFailWithTheirReason) {
    const struct {
        QByteArray body;
        qint64 code = 0;  // none: an empty map
        QString reason = {};
    } cases[] = {
        {"status=ok&title=T"},
        {""},
        {"url_encoded_fmt_stream_map=&adaptive_fmts="},
        {"url_encoded_fmt_stream_map=url%3Dx%2Cquality%3D%25ZZ%2Citag%3D%253"},
        {"url_encoded_fmt_stream_map=%ZZ"},
        {"status=fail&reason=Not+available&errorcode=150", 150, "Not available"},
        {"status=ok&title=\xC3\xA9", VXYouTubeExtractorError::UnreadableAnswer,
         "The site's answer is not plain text."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.body.constData());
        const auto [videos, error] = VXYouTubeExtractor::parseVideoInfoAnswer(c.body, "id");
        EXPECT_EQ(videos.has_value(), c.code == 0);
        EXPECT_TRUE(!videos || videos->isEmpty());
        ASSERT_EQ(error.has_value(), c.code != 0);
        if (error) {
            EXPECT_TRUE(error->is("com.halvenmoor.vxyoutubeextractor", c.code));
            EXPECT_EQ(error->failureReason(), c.reason);
        }
    }
}

}  // namespace
}  // namespace clipmoor
