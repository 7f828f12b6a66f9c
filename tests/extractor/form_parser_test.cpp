#include <gtest/gtest.h>

#include "extractor/form_parser.h"
#include "extractor/vx_youtube_extractor.h"

namespace clipmoor {
namespace {

using Map = QHash<QString, QString>;

TEST(FormParserTest, SplitsPairsThenDecodesValuesAndForgetsUndecodableOnes) {
    const struct {
        QString text;
        Map expected;
    } cases[] = {
        {"a=1&b&c=2=3&d=x%20y+z", {{"a", "1"}, {"d", "x y z"}}},  // exactly one "=" a pair
        {"v=1%2B1", {{"v", "1 1"}}},                              // "+" turns into space last
        {"a%20b=1", {{"a%20b", "1"}}},                            // keys stay undecoded
        {"k=1&k=%ZZ", Map{}},  // an undecodable value removes the earlier one
        {"k=1&k=2", {{"k", "2"}}},
        {"u=a%26b%3Dc", {{"u", "a&b=c"}}},
        {QString::fromUtf8("k=\u00e9+%41%2b"), {{"k", QString::fromUtf8("\u00e9 A ")}}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(dictionaryFromQueryString(c.text), c.expected) << c.text.toStdString();
}

// Only what the offered streams' filter is asked for: nothing in the application calls it.
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
