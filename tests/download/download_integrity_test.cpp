// Every finished file is byte-identical to what the site serves, whole or resumed against every
// answer a server may give and every state of the partial file; else the download fails cleanly.
#include <QFileInfo>

#include <sys/stat.h>

#include "download_test_support.h"
#include "platform/http/partial_files.h"

namespace clipmoor::test {
namespace {

using Kind = DelegateEvent::Kind;
using DownloadIntegrityTest = DownloadTest;

// What is being downloaded is nobody else's business, whatever the umask.
TEST_F(DownloadIntegrityTest, FinishedFileIsWholeAndGoneAfterTheCall) {
    constexpr qint64 kWhole = 4 * 1024 * 1024;
    const QUrl url = site.mediaFile("whole.bin", kWhole);
    ::umask(022);
    for (const bool delegateMovesIt : {true, false}) {
        SCOPED_TRACE(delegateMovesIt ? "moved by the delegate" : "left where it was");
        const auto delegate = makeDelegate(delegateMovesIt ? "whole.bin" : "");
        const auto downloader = makeDownloader(url, delegate);
        ASSERT_TRUE(runToEnd(downloader, delegate));
        struct stat folder {};
        ASSERT_EQ(::stat(QFile::encodeName(partialFolder).constData(), &folder), 0);
        EXPECT_EQ(folder.st_mode & 0777, 0700u);
        ASSERT_TRUE(delegate->finished()) << describe(delegate->lastError());
        EXPECT_EQ(delegate->last(Kind::Finished).first, kWhole) << "not whole during the call";
        // The handed-over file is gone after the call, moved or not.
        EXPECT_TRUE(waitUntil([&] { return partialFiles().isEmpty(); }, kWaitMs))
            << partialFiles().join(' ').toStdString();

        // Progress adds up to the file, ends on its last byte, and never runs backwards.
        qint64 sum = 0, previous = 0;
        for (const DelegateEvent& event : delegate->events()) {
            if (event.kind != Kind::Progress) continue;
            sum += event.first;
            EXPECT_GT(event.second, previous);
            EXPECT_EQ(event.third, kWhole);
            previous = event.second;
        }
        EXPECT_EQ(sum, kWhole);
        EXPECT_EQ(previous, kWhole);
    }
    expectSameBytes("whole.bin", "whole.bin");
}

constexpr qint64 kSize = 600'000;  // of each resumed file
constexpr qint64 kRecorded = 200'000;

enum class Partial { AsRecorded, Missing, Shorter, Longer, Damaged };

// A server answer and a state of the partial file, and what must come of them: the site's bytes,
// continued at `resumedAt` (none when a retry started over from the address), or a failure.
struct MatrixCase {
    const char* name = "";
    const char* route = "/media/";   // the site's path; one ending in "/" takes the file's name
    bool changedSincePause = false;  // the same address, new content and validators
    Partial partial = Partial::AsRecorded;
    qint64 recorded = kRecorded;  // the bytes the resume data says are on disk
    std::optional<qint64> resumedAt = std::nullopt;
    int answer = 0;      // the status the site gave the ranged request; 0: not checked
    qint64 failure = 0;  // a code of the URL error domain; 0: must succeed
};

const MatrixCase kCases[] = {
    {.name = "206 from the offset", .resumedAt = kRecorded, .answer = 206},
    {.name = "200 to a Range", .route = "/norange/media/", .resumedAt = 0, .answer = 200},
    {.name = "416, file complete", .recorded = kSize, .resumedAt = kSize, .answer = 416},
    {.name = "416, past the end", .recorded = kSize + 1000, .resumedAt = 0, .answer = 416},
    {.name = "416, no range", .route = "/unsatisfiable/media/", .resumedAt = 0, .answer = 416},
    {.name = "validator changed", .changedSincePause = true, .resumedAt = 0, .answer = 200},
    {.name = "redirect", .route = "/redirect/media/", .resumedAt = kRecorded, .answer = 302},
    {.name = "file missing", .partial = Partial::Missing},
    {.name = "file short", .partial = Partial::Shorter, .resumedAt = kRecorded / 2, .answer = 206},
    {.name = "file long", .partial = Partial::Longer, .resumedAt = kRecorded, .answer = 206},
    // A failure after the bytes on disk were checked, and resume data the decoder refuses (see
    // its own tests), which ends the operation at once.
    {.name = "redirect to ftp", .route = "/redirect/ftp", .failure = URLError::UnsupportedURL},
    {.name = "damaged", .partial = Partial::Damaged, .failure = URLError::CannotDecodeResumeData},
};

class ResumeMatrixTest : public DownloadTest {
protected:
    // Writes the partial file the case describes and returns the resume data that names it.
    QByteArray prepare(const MatrixCase& c, const QString& name, int index) {
        if (c.partial == Partial::Damaged) return "{\"version\":1";
        const QString path =
            partialFolder + QStringLiteral("/clipmoor-case%1.part").arg(index, 2, 10, QChar('0'));
        // The strong ETag nginx sends for a static file: its time and size in hexadecimal.
        const QFileInfo media(site.mediaPath(name));
        const QByteArray entityTag = QStringLiteral("\"%1-%2\"")
                                         .arg(media.lastModified().toSecsSinceEpoch(), 0, 16)
                                         .arg(media.size(), 0, 16)
                                         .toLatin1();
        // The file's first bytes, and junk for whatever the resume data claims past its end.
        QFile content(media.filePath());
        EXPECT_TRUE(content.open(QIODevice::ReadOnly));
        QByteArray bytes = content.read(std::min(c.recorded, kSize));
        bytes += QByteArray(c.recorded - bytes.size(), 'x');
        if (c.partial == Partial::Shorter) bytes.truncate(c.recorded / 2);
        if (c.partial == Partial::Longer) bytes += QByteArray(5000, 'x');
        if (c.partial != Partial::Missing) {
            QFile file(path);
            EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
        }
        if (c.changedSincePause) site.replaceMediaFile(name, kSize);
        const QString route = QString::fromLatin1(c.route);
        const QUrl url = site.mainHostUrl(route.endsWith('/') ? route + name : route);
        return ResumeData{url, path, c.recorded, entityTag, {}, kSize}.encode();
    }
};

TEST_F(ResumeMatrixTest, EndsInTheServersBytesOrACleanFailure) {
    ASSERT_TRUE(QDir().mkpath(partialFolder));
    int index = 0;
    for (const MatrixCase& c : kCases) {
        SCOPED_TRACE(c.name);
        const QString name = QStringLiteral("case-%1.bin").arg(++index);
        const QUrl mediaUrl = site.mediaFile(name, kSize);
        const QByteArray resumeData = prepare(c, name, index);
        const auto delegate = makeDelegate(name);
        const auto downloader = makeDownloader(mediaUrl, delegate, resumeData);
        ASSERT_TRUE(runToEnd(downloader, delegate));

        if (c.failure == 0) {
            ASSERT_TRUE(delegate->finished()) << describe(delegate->lastError());
            expectSameBytes(name, name);
            EXPECT_EQ(delegate->lastResumeOffset(), c.resumedAt);
            EXPECT_EQ(downloader->retryAttemps(), c.partial == Partial::Missing ? 1u : 0u);
        } else {
            EXPECT_FALSE(QFile::exists(destination(name)));
            const auto error = delegate->lastError();
            ASSERT_TRUE(error && error->is(kURLErrorDomain, c.failure)) << describe(error);
            EXPECT_EQ(downloader->retryAttemps(), 0u);
            // Bytes on disk that were never in doubt are handed back for a retry.
            const auto kept = delegate->keptResumeData();
            ASSERT_EQ(bool(kept), c.partial != Partial::Damaged);
            if (kept) {
                EXPECT_EQ(kept->partialFile, ResumeData::decode(resumeData)->partialFile);
                EXPECT_EQ(kept->bytesOnDisk, c.recorded);
                EXPECT_TRUE(QFile::exists(kept->partialFile));
                discardResumeData(kept->encode(), partialFolder);
            }
        }
        EXPECT_TRUE(waitUntil([&] { return partialFiles().isEmpty(); }, kWaitMs))
            << partialFiles().join(' ').toStdString();
        if (c.answer == 0) continue;
        AccessLogEntry first;
        ASSERT_TRUE(waitUntil(
            [&] {
                for (const AccessLogEntry& entry : site.accessLog())
                    if (entry.target().endsWith("/" + name) && !entry.range.isEmpty())
                        return (first = entry), true;
                return false;
            },
            kWaitMs));
        EXPECT_EQ(first.status, c.answer);
        const qint64 from = c.partial == Partial::Shorter ? c.recorded / 2 : c.recorded;
        EXPECT_EQ(first.range, QStringLiteral("bytes=%1-").arg(from));
        EXPECT_FALSE(first.ifRange.isEmpty());
    }
}

}  // namespace
}  // namespace clipmoor::test
