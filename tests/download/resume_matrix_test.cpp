// Resuming against every answer a server may give and every state the partial file may be in:
// each case ends in a byte-identical file or in a clean failure, never in a wrong file.
#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include "download_test_support.h"
#include "platform/http/resume_data.h"
#include "platform/http/url_error.h"
#include "test_environment.h"

namespace clipmoor::test {
namespace {

constexpr qint64 kSize = 600'000;
constexpr qint64 kRecorded = 200'000;

enum class Route { Media, RangeIgnoring, Unsatisfiable, RedirectToFtp, RedirectToFile };
enum class Partial { AsRecorded, Missing, Shorter, Longer, WholeFile, WholeFilePlusJunk };

struct MatrixCase {
    const char* name;
    Route route;
    Partial partial;
    qint64 recordedBytes;
    bool fileChangedSincePause;
    // Outcome: a byte-identical file that continued at `resumedAt` (none when it started over
    // through a retry), or a failure with `errorCode` of the URL domain.
    bool succeeds;
    std::optional<qint64> resumedAt;
    qint64 errorCode;
    // The ranged request the site saw: where it started and the answer; -1 when not checked.
    qint64 requestedFrom;
    int firstStatus;
};

constexpr auto kNone = std::nullopt;
constexpr qint64 kUnchecked = -1;

// clang-format off
const MatrixCase kCases[] = {
    // name                               route                 partial file                 recorded bytes  file changed
    //   succeeds  resumed at  error                    ranged request from  its answer
    {"206 from the offset asked",         Route::Media,         Partial::AsRecorded,        kRecorded,      false,
         true,     kRecorded,  0,                       kRecorded,           206},
    {"200 to a Range request",            Route::RangeIgnoring, Partial::AsRecorded,        kRecorded,      false,
         true,     0,          0,                       kRecorded,           200},
    {"416 with */N for a complete file",  Route::Media,         Partial::WholeFile,         kSize,          false,
         true,     kSize,      0,                       kSize,               416},
    {"416 with */N past the end",         Route::Media,         Partial::WholeFilePlusJunk, kSize + 1000,   false,
         true,     0,          0,                       kSize + 1000,        416},
    {"416 without Content-Range",         Route::Unsatisfiable, Partial::AsRecorded,        kRecorded,      false,
         true,     0,          0,                       kRecorded,           416},
    {"validator changed",                 Route::Media,         Partial::AsRecorded,        kRecorded,      true,
         true,     0,          0,                       kRecorded,           200},
    {"partial file missing",              Route::Media,         Partial::Missing,           kRecorded,      false,
         true,     kNone,      0,                       kUnchecked,          0},
    {"partial file shorter",              Route::Media,         Partial::Shorter,           kRecorded,      false,
         true,     kRecorded / 2, 0,                    kRecorded / 2,       206},
    {"partial file longer",               Route::Media,         Partial::Longer,            kRecorded,      false,
         true,     kRecorded,  0,                       kRecorded,           206},
    {"redirect to ftp",                   Route::RedirectToFtp, Partial::AsRecorded,        kRecorded,      false,
         false,    kNone,      URLError::UnsupportedURL, kUnchecked,         0},
    {"redirect to file",                  Route::RedirectToFile, Partial::AsRecorded,       kRecorded,      false,
         false,    kNone,      URLError::UnsupportedURL, kUnchecked,         0},
};
// clang-format on

class ResumeMatrixTest : public DownloadTest {
protected:
    QUrl routeUrl(Route route, const QString& name) const {
        switch (route) {
            case Route::Media:
                return site.mediaUrl(name);
            case Route::RangeIgnoring:
                return site.rangeIgnoringMediaUrl(name);
            case Route::Unsatisfiable:
                return site.unsatisfiableRangeMediaUrl(name);
            case Route::RedirectToFtp:
                return site.redirectToFtpUrl();
            case Route::RedirectToFile:
                return site.redirectToFileUrl();
        }
        return {};
    }

    // Writes the partial file the case describes and returns the resume data that names it.
    QByteArray prepare(const MatrixCase& c, const QString& name, int index) {
        const QString path =
            partialFolder + QStringLiteral("/clipmoor-case%1.part").arg(index, 2, 10, QChar('0'));
        const Validators validators = validatorsOf(site.mediaUrl(name));
        EXPECT_FALSE(validators.entityTag.isEmpty());
        QByteArray bytes = mediaBytes(site, name, kSize);
        const QByteArray junk(5000, 'x');
        switch (c.partial) {
            case Partial::AsRecorded:
                bytes.truncate(c.recordedBytes);
                break;
            case Partial::Missing:
                bytes.clear();
                break;
            case Partial::Shorter:
                bytes.truncate(c.recordedBytes / 2);
                break;
            case Partial::Longer:
                bytes = bytes.left(c.recordedBytes) + junk;
                break;
            case Partial::WholeFile:
                break;
            case Partial::WholeFilePlusJunk:
                bytes += junk.left(c.recordedBytes - kSize);
                break;
        }
        if (c.partial != Partial::Missing) {
            QFile file(path);
            EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
        }
        if (c.fileChangedSincePause) site.replaceMediaFile(name, kSize);
        return ResumeData{routeUrl(c.route, name), path, c.recordedBytes, validators.entityTag,
                          validators.lastModified, kSize}
            .encode();
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
        EXPECT_TRUE(downloader->isFinished());
        EXPECT_TRUE(waitUntil([&] { return partialFiles().isEmpty(); }, kWaitMs))
            << partialFiles().join(' ').toStdString();

        if (c.succeeds) {
            ASSERT_TRUE(delegate->finished()) << describe(delegate->lastError());
            EXPECT_EQ(TestSite::sha256OfFile(destination(name)), site.sha256OfMedia(name));
            EXPECT_EQ(delegate->lastResumeOffset(), c.resumedAt);
            EXPECT_EQ(downloader->retryAttemps(), c.partial == Partial::Missing ? 1u : 0u);
        } else {
            EXPECT_FALSE(delegate->finished());
            EXPECT_FALSE(QFile::exists(destination(name)));
            const auto error = delegate->lastError();
            EXPECT_TRUE(error && error->is(kURLErrorDomain, c.errorCode)) << describe(error);
        }
        if (c.requestedFrom == kUnchecked) continue;
        AccessLogEntry first;
        ASSERT_TRUE(waitUntil(
            [&] {
                for (const AccessLogEntry& entry : site.accessLog())
                    if (entry.target().endsWith("/" + name) && !entry.range.isEmpty())
                        return (first = entry), true;
                return false;
            },
            kWaitMs));
        EXPECT_EQ(first.status, c.firstStatus);
        EXPECT_EQ(first.range, QStringLiteral("bytes=%1-").arg(c.requestedFrom));
        EXPECT_FALSE(first.ifRange.isEmpty());
    }
}

TEST_F(ResumeMatrixTest, DamagedResumeDataIsAClearFailure) {
    const QUrl url = site.mediaFile("damaged.bin", kSize);
    const QByteArray whole =
        ResumeData{url, partialFolder + "/clipmoor-abcdef.part", 1000, "\"tag\"", {}, kSize}
            .encode();
    const auto withField = [&whole](const char* from, const char* to) {
        return QByteArray(whole).replace(from, to);
    };
    const QByteArray damaged[] = {
        whole.left(whole.size() / 2),
        whole.left(whole.size() - 1),
        "not resume data at all",
        QByteArray(100'000, '{'),
        "{}",
        "[1,2,3]",
        withField("\"version\":1", "\"version\":2"),
        withField("\"version\":1", "\"version\":1e300"),
        withField("\"bytes\":1000", "\"bytes\":-5"),
        withField("\"bytes\":1000", "\"bytes\":\"1000\""),
        withField("https://", "ftp://"),
        withField("\"etag\":\"\\\"tag\\\"\"", "\"etag\":\"\""),
    };
    for (const QByteArray& data : damaged) {
        SCOPED_TRACE(data.left(200).toStdString());
        const auto delegate = makeDelegate();
        const auto downloader = makeDownloader(url, delegate, data);
        ASSERT_TRUE(runToEnd(downloader, delegate));
        const auto error = delegate->lastError();
        EXPECT_TRUE(error && error->is(kURLErrorDomain, URLError::CannotDecodeResumeData))
            << describe(error);
        EXPECT_FALSE(delegate->finished());
        EXPECT_TRUE(downloader->isFinished());
        EXPECT_EQ(downloader->retryAttemps(), 0u);
    }
    EXPECT_FALSE(QFile::exists(destination()));
}

}  // namespace
}  // namespace clipmoor::test
