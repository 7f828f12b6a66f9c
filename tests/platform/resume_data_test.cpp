#include <QJsonDocument>
#include <QJsonObject>

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

// The sample's encoding with `fields` replaced.
QByteArray with(const QJsonObject& fields) {
    QJsonObject object = QJsonDocument::fromJson(kSample.encode()).object();
    for (auto field = fields.begin(); field != fields.end(); ++field) object[field.key()] = *field;
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
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
        {"OtherVersion", with({{"version", 2}})},
        {"VersionOutOfRange", with({{"version", 1e300}})},
        {"NegativeBytes", with({{"bytes", -5}})},
        {"BytesAsText", with({{"bytes", "1000"}})},
        {"FtpAddress", with({{"url", "ftp://h/a.mp4"}})},
        {"AddressWithoutHost", with({{"url", "http:/media/a.mp4"}})},
        {"AddressThatEncodesDifferently", with({{"url", "http:###//127.0.0.1/a"}})},
        {"PartialFileWithNul",
         with({{"partialFile", QString::fromUtf8("/tmp/clipmoor-abcdef.part\0x", 27)}})},
        {"NoValidator", with({{"etag", ""}, {"lastModified", ""}})},
        {"ValidatorBreakingAHeader", with({{"etag", "\"t\r\nX-Injected: 1\""}})},
    };
    ASSERT_TRUE(ResumeData::decode(kSample.encode()));
    for (const auto& row : rows) EXPECT_FALSE(ResumeData::decode(row.data)) << row.name;
}

TEST(ResumeDataTest, WhatIsAcceptedEncodesToTheSameFields) {
    const QByteArray rows[] = {
        kSample.encode(),
        with({{"url", "https://h/%C3%A9?q=a%20b&x#f%20g"}}),
        with({{"partialFile", QString::fromUtf8("/tmp/\u00e9 x/clipmoor-abcdef.part")}}),
        with({{"bytes", qint64(9007199254740992)}}),
        with({{"lastModified", ""}}),
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
