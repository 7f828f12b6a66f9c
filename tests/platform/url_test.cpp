#include <gtest/gtest.h>

#include "platform/percent_encoding.h"
#include "platform/url.h"

namespace clipmoor {
namespace {

TEST(UrlTest, ParsesStrictly) {
    // Spaces, broken escapes, text beyond ASCII and ports beyond 16 bits make no address.
    for (const QString& text :
         {QString(" https://youtu.be/abc"), QString("https://youtu.be/abc "),
          QString("https://youtu.be/%zz"), QString::fromUtf8("https://youtu.be/é"),
          QString("http://host:99999/")})
        EXPECT_FALSE(Url::parse(text)) << text.toStdString();
    const struct {
        QString text;
        QString scheme;
        std::optional<QString> host;
        QString lastPathComponent;
    } cases[] = {
        {"https://www.youtube.com/watch?v=abc", "https", "www.youtube.com", "watch"},
        {"youtu.be/abc", "", std::nullopt, "abc"},
        {"https:///watch?v=a", "https", std::nullopt, "watch"},
        {"http://u:p@host:8080/a/b/", "http", "host", "b"},
        {"https://youtu.be/", "https", "youtu.be", "/"},
        {"https://youtu.be/a%20b", "https", "youtu.be", "a b"},
        {"http://[::1]:80/x", "http", "[::1]", "x"},
        {"clipmoor:word", "clipmoor", std::nullopt, "word"},
        {"", "", std::nullopt, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        const std::optional<Url> url = Url::parse(c.text);
        ASSERT_TRUE(url);
        EXPECT_EQ(url->scheme(), c.scheme);
        EXPECT_EQ(url->host(), c.host);
        EXPECT_EQ(url->lastPathComponent(), c.lastPathComponent);
        EXPECT_EQ(url->absoluteString(), c.text);
    }
}

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
    // Cut short, not hexadecimal, an overlong "/", a surrogate, above U+10FFFF.
    for (const char16_t* bad : {u"%", u"%4", u"%G1", u"%C0%AF", u"%ED%A0%80", u"%F4%90%80%80"})
        EXPECT_EQ(removingPercentEncoding(bad), std::nullopt)
            << QString::fromUtf16(bad).toStdString();
    EXPECT_EQ(addingPercentEncodingForQuery(u"a b\u00e9"), "a%20b%C3%A9");
}

}  // namespace
}  // namespace clipmoor
