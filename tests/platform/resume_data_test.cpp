#include <gtest/gtest.h>

#include "platform/http/resume_data.h"

namespace clipmoor {
namespace {

const ResumeData kSample{QUrl("https://www.youtube.com/media/a.mp4?itag=18&sig=1"),
                         "/home/u/.cache/Clipmoor/partial/clipmoor-abcdef.part",
                         1000,
                         "\"6b15-927c0\"",
                         "Mon, 01 Jan 2024 00:00:00 GMT",
                         600000};

// `whole` with the value of `key` replaced by the JSON text `json`.
QByteArray withField(const char* key, const QByteArray& json,
                     const QByteArray& whole = kSample.encode()) {
    const qsizetype start = whole.indexOf(QByteArray("\"") + key + "\":");
    const qsizetype valueStart = whole.indexOf(':', start) + 1;
    qsizetype end = valueStart;
    if (whole[valueStart] == '"') {
        end = valueStart + 1;
        while (whole[end] != '"') end += whole[end] == '\\' ? 2 : 1;
        ++end;
    } else {
        while (whole[end] != ',' && whole[end] != '}') ++end;
    }
    return whole.left(valueStart) + json + whole.mid(end);
}

TEST(ResumeDataTest, RefusesWhatCouldNotBeUsedSafelyOrWouldNotReadBackTheSame) {
    const struct {
        const char* name;
        QByteArray data;
    } rows[] = {
        {"Truncated", kSample.encode().chopped(1)},
        {"NotJson", "not resume data at all"},
        {"DeeplyNested", QByteArray(100'000, '{')},
        {"EmptyObject", "{}"},
        {"Array", "[1,2,3]"},
        {"OtherVersion", withField("version", "2")},
        {"VersionOutOfRange", withField("version", "1e300")},
        {"NegativeBytes", withField("bytes", "-5")},
        {"BytesAsText", withField("bytes", "\"1000\"")},
        {"FtpAddress", withField("url", "\"ftp://h/a.mp4\"")},
        {"AddressWithoutHost", withField("url", "\"http:/media/a.mp4\"")},
        {"AddressThatEncodesDifferently", withField("url", "\"http:###//127.0.0.1/a\"")},
        {"PartialFileWithNul", withField("partialFile", "\"/tmp/clipmoor-abcdef.part\\u0000x\"")},
        {"NoValidator", withField("etag", "\"\"", withField("lastModified", "\"\""))},
        {"ValidatorBreakingAHeader", withField("etag", "\"\\\"t\\r\\nX-Injected: 1\\\"\"")},
    };
    ASSERT_TRUE(ResumeData::decode(kSample.encode()));
    for (const auto& row : rows) EXPECT_FALSE(ResumeData::decode(row.data)) << row.name;
}

TEST(ResumeDataTest, WhatIsAcceptedEncodesToTheSameFields) {
    const QByteArray rows[] = {
        kSample.encode(),
        withField("url", "\"https://h/%C3%A9?q=a%20b&x#f%20g\""),
        withField("partialFile", "\"/tmp/\\u00e9 x/clipmoor-abcdef.part\""),
        withField("bytes", "9007199254740992"),
        withField("lastModified", "\"\""),
    };
    for (const QByteArray& data : rows) {
        const auto decoded = ResumeData::decode(data);
        ASSERT_TRUE(decoded) << data.constData();
        const auto again = ResumeData::decode(decoded->encode());
        ASSERT_TRUE(again) << data.constData();
        EXPECT_EQ(again->encode(), decoded->encode()) << data.constData();
    }
}

}  // namespace
}  // namespace clipmoor
