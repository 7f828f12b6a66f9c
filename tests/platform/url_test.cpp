#include <gtest/gtest.h>

#include "platform/percent_encoding.h"
#include "platform/url.h"

namespace clipmoor {
namespace {

struct UrlCase {
    const char* name;
    QString text;
    bool valid;
    QString scheme;
    std::optional<QString> host;
    QString lastPathComponent;
};

class UrlParseTest : public testing::TestWithParam<UrlCase> {};

TEST_P(UrlParseTest, ParsesStrictly) {
    const UrlCase& c = GetParam();
    const std::optional<Url> url = Url::parse(c.text);
    ASSERT_EQ(url.has_value(), c.valid);
    if (!url) return;
    EXPECT_EQ(url->scheme(), c.scheme);
    EXPECT_EQ(url->host(), c.host);
    EXPECT_EQ(url->lastPathComponent(), c.lastPathComponent);
    EXPECT_EQ(url->absoluteString(), c.text);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UrlParseTest,
    testing::Values(
        UrlCase{"WatchAddress", "https://www.youtube.com/watch?v=abc", true, "https",
                "www.youtube.com", "watch"},
        UrlCase{"ShortLinkWithoutSchemeHasNoHost", "youtu.be/abc", true, "", std::nullopt, "abc"},
        UrlCase{"LeadingSpaceIsNoUrl", " https://youtu.be/abc", false, "", std::nullopt, ""},
        UrlCase{"TrailingSpaceIsNoUrl", "https://youtu.be/abc ", false, "", std::nullopt, ""},
        UrlCase{"BrokenEscapeIsNoUrl", "https://youtu.be/%zz", false, "", std::nullopt, ""},
        UrlCase{"NonAsciiIsNoUrl", QString::fromUtf8("https://youtu.be/é"), false, "", std::nullopt,
                ""},
        UrlCase{"EmptyHost", "https:///watch?v=a", true, "https", std::nullopt, "watch"},
        UrlCase{"PortAndUserInfo", "http://u:p@host:8080/a/b/", true, "http", "host", "b"},
        UrlCase{"BadPortIsNoUrl", "http://host:99999/", false, "", std::nullopt, ""},
        UrlCase{"RootPath", "https://youtu.be/", true, "https", "youtu.be", "/"},
        UrlCase{"DecodedLastComponent", "https://youtu.be/a%20b", true, "https", "youtu.be", "a b"},
        UrlCase{"Ipv6Literal", "http://[::1]:80/x", true, "http", "[::1]", "x"},
        UrlCase{"SchemeOnly", "clipmoor:word", true, "clipmoor", std::nullopt, "word"},
        UrlCase{"EmptyText", "", true, "", std::nullopt, ""}),
    [](const testing::TestParamInfo<UrlCase>& info) { return info.param.name; });

TEST(UrlQueryItemsTest, SplitsAtFirstEqualsAndDecodes) {
    const auto url = Url::parse("https://h/watch?v=a&v=b&x&y=&z=1=2&e=%41+b");
    ASSERT_TRUE(url);
    const std::vector<QueryItem> expected{{"v", "a"}, {"v", "b"},   {"x", std::nullopt},
                                          {"y", ""},  {"z", "1=2"}, {"e", "A+b"}};
    EXPECT_EQ(url->queryItems(), expected);
    EXPECT_TRUE(Url::parse("https://h/watch")->queryItems().empty());
}

TEST(PercentEncodingTest, RejectsMalformedEscapesAndInvalidUtf8) {
    EXPECT_EQ(removingPercentEncoding(u"%E2%82%AC"), QString(QChar(0x20AC)));
    EXPECT_EQ(removingPercentEncoding(u"%"), std::nullopt);
    EXPECT_EQ(removingPercentEncoding(u"%4"), std::nullopt);
    EXPECT_EQ(removingPercentEncoding(u"%G1"), std::nullopt);
    EXPECT_EQ(removingPercentEncoding(u"%C0%AF"), std::nullopt);        // overlong "/"
    EXPECT_EQ(removingPercentEncoding(u"%ED%A0%80"), std::nullopt);     // surrogate
    EXPECT_EQ(removingPercentEncoding(u"%F4%90%80%80"), std::nullopt);  // above U+10FFFF
    EXPECT_EQ(addingPercentEncodingForQuery(u"a b\u00e9"), "a%20b%C3%A9");
}

}  // namespace
}  // namespace clipmoor
