#include <gtest/gtest.h>

#include "extractor/form_parser.h"
#include "extractor/vx_youtube_extractor.h"

namespace clipmoor {
namespace {

using Map = QHash<QString, QString>;

struct ParseCase {
    const char* name;
    QString text;
    Map expected;
};

class FormParserTest : public testing::TestWithParam<ParseCase> {};

TEST_P(FormParserTest, ParsesFormText) {
    EXPECT_EQ(dictionaryFromQueryString(GetParam().text), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FormParserTest,
    testing::Values(
        ParseCase{"SkipsPairsWithoutExactlyOneEquals",
                  "a=1&b&c=2=3&d=x%20y+z",
                  {{"a", "1"}, {"d", "x y z"}}},
        ParseCase{"DecodesEscapesBeforeTurningPlusIntoSpace", "v=1%2B1", {{"v", "1 1"}}},
        ParseCase{"KeepsKeysUndecoded", "a%20b=1", {{"a%20b", "1"}}},
        ParseCase{"UndecodableValueRemovesEarlierValue", "k=1&k=%ZZ", Map{}},
        ParseCase{"TruncatedEscapeIsUndecodable", "k=%4&j=%", Map{}},
        ParseCase{
            "InvalidUtf8IsUndecodable", "k=%C3%28&j=%E2%82%AC", {{"j", QString(QChar(0x20AC))}}},
        ParseCase{"LaterPairReplacesEarlier", "k=1&k=2", {{"k", "2"}}},
        ParseCase{"EmptyValueIsKept", "k=&j=1", {{"k", ""}, {"j", "1"}}},
        ParseCase{"EmptyTextGivesNothing", "", Map{}},
        ParseCase{"EncodedAmpersandStaysInValue", "u=a%26b%3Dc", {{"u", "a&b=c"}}},
        ParseCase{"UnicodeTextIsKept",
                  QString::fromUtf8("k=\u00e9+%41%2b"),
                  {{"k", QString::fromUtf8("\u00e9 A ")}}}),
    [](const testing::TestParamInfo<ParseCase>& info) { return info.param.name; });

TEST(QueryStringTest, EscapesWithQueryAllowedCharacters) {
    EXPECT_EQ(VXYouTubeExtractor::urlEscapeString("a b&c=d?e/f#g"), "a%20b&c=d?e/f%23g");
    EXPECT_EQ(VXYouTubeExtractor::urlEscapeString(QString::fromUtf8("é%")), "%C3%A9%25");
    EXPECT_EQ(VXYouTubeExtractor::urlEscapeString("-._~!$'()*+,;:@"), "-._~!$'()*+,;:@");
}

TEST(QueryStringTest, StartsWithQuestionMarkOnlyWhenTheBaseHasNone) {
    const QList<QPair<QString, QString>> parameters{{"a", "1"}, {"eurl", ""}};
    EXPECT_EQ(VXYouTubeExtractor::addQueryStringToUrlString("https://h/p", parameters),
              "https://h/p?a=1&eurl=");
    EXPECT_EQ(VXYouTubeExtractor::addQueryStringToUrlString("https://h/p?x=1", parameters),
              "https://h/p?x=1&a=1&eurl=");
    EXPECT_EQ(VXYouTubeExtractor::addQueryStringToUrlString("https://h/p?", parameters),
              "https://h/p?&a=1&eurl=");
}

TEST(StreamFilterTest, KeepsTheFourOfferedStreamsUnderTheirOwnItag) {
    StreamMap all;
    for (const QString itag : {"18", "22", "36", "140", "137", "43", "18abc", "x", ""})
        all.insert(itag, {{"itag", itag}});
    all.insert("no-itag", {{"url", "u"}});
    const StreamMap kept = VXYouTubeExtractor::filterVideoListToMP4Only(all);
    EXPECT_EQ(QSet<QString>(kept.keyBegin(), kept.keyEnd()),
              (QSet<QString>{"18", "22", "36", "140", "18abc"}));
}

}  // namespace
}  // namespace clipmoor
