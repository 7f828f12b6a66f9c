// Names of finished files: one path component, within the file system's 255 bytes, the
// quality suffix kept.
#include <gtest/gtest.h>

#include "download/media_file_name.h"

namespace clipmoor::test {
namespace {

qsizetype bytes(const QString& name) {
    return name.toUtf8().size() + QByteArrayLiteral(".mp4").size();
}

TEST(MediaFileNameTest, UnsafeCharactersBecomeDashes) {
    EXPECT_EQ(mediaFileNameForTitle("AC/DC - Live", "(720p)", "mp4"), "AC-DC - Live(720p)");
    EXPECT_EQ(mediaFileNameForTitle(QString::fromLatin1("a\0b\nc\x7f", 6), "(360p)", "mp4"),
              "a-b-c-(360p)");
    EXPECT_EQ(cleanedMediaFileName("Band/Song(720p)", "mp4"), "Band-Song(720p)");
    EXPECT_EQ(cleanedMediaFileName("Plain(adudio only)", "mp4"), "Plain(adudio only)");
}

TEST(MediaFileNameTest, LongTitlesAreShortenedOnCharacterBoundariesKeepingTheSuffix) {
    const std::pair<QString, QString> cases[] = {
        {QString(300, QChar(u'x')), "(720p)"},
        {QString(100, QChar(u'\u4e2d')), "(360p)"},  // 3 bytes each: 300 bytes
        {QString::fromUtf8(QByteArray(60, 'a')) + QString(120, QChar(u'\u0416')), "(adudio only)"},
        {QString(70, QChar(u'e')) + QString(70, QChar(u'\u0301')) + "\U0001F600\U0001F600" +
             QString(60, QChar(u'\u00e9')),
         "(240p)"},
        {"short", QString(300, QChar(u'q'))},  // a hostile quality text
    };
    for (const auto& [title, suffix] : cases) {
        const QString name = mediaFileNameForTitle(title, suffix, "mp4");
        EXPECT_LE(bytes(name), 255) << name.toStdString();
        EXPECT_GE(bytes(name), 250) << name.toStdString();  // nothing cut needlessly
        EXPECT_FALSE(name.toUtf8().contains("\xEF\xBF\xBD")) << "split inside a character";
        EXPECT_FALSE(name.back().isHighSurrogate());
        EXPECT_TRUE(suffix.size() >= 20 || name.endsWith(suffix)) << name.toStdString();
        EXPECT_EQ(cleanedMediaFileName(name, "mp4"), name);  // stable once cleaned
    }
    const QString stored = QString(200, QChar(u'\u00e9')) + "(720p)";
    const QString cleaned = cleanedMediaFileName(stored, "mp4");
    EXPECT_TRUE(cleaned.endsWith("(720p)"));
    EXPECT_LE(bytes(cleaned), 255);
}

}  // namespace
}  // namespace clipmoor::test
