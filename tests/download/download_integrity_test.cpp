// A finished file is byte-identical to what the site serves, and the operation lets go of it.
#include <QFileInfo>

#include <sys/stat.h>

#include "download_test_support.h"

namespace clipmoor::test {
namespace {

using Kind = DelegateEvent::Kind;

class DownloadIntegrityTest : public DownloadTest {};

// The finished operation lets go of itself, and what is being downloaded is nobody else's
// business, whatever the umask.
TEST_F(DownloadIntegrityTest, FinishedFileIsWholeAndGoneAfterTheCall) {
    constexpr qint64 kSize = 4 * 1024 * 1024;
    const QUrl url = site.mediaFile("whole.bin", kSize);
    ::umask(022);
    for (const bool delegateMovesIt : {true, false}) {
        SCOPED_TRACE(delegateMovesIt ? "moved by the delegate" : "left where it was");
        const auto delegate = makeDelegate(delegateMovesIt ? "whole.bin" : "");
        auto downloader = makeDownloader(url, delegate);
        ASSERT_TRUE(runToEnd(downloader, delegate));
        struct stat folder {};
        ASSERT_EQ(::stat(QFile::encodeName(partialFolder).constData(), &folder), 0);
        EXPECT_EQ(folder.st_mode & 0777, 0700u);
        ASSERT_TRUE(delegate->finished()) << describe(delegate->lastError());
        const DelegateEvent handOver = delegate->last(Kind::Finished);
        EXPECT_EQ(handOver.first, kSize) << "the file was not whole during the call";
        EXPECT_TRUE(
            waitUntil([&] { return !QFile::exists(QFile::decodeName(handOver.data)); }, kWaitMs));
        EXPECT_TRUE(partialFiles().isEmpty()) << partialFiles().join(' ').toStdString();

        // Progress adds up to the file, ends on its last byte, and never runs backwards.
        qint64 sum = 0, previous = 0;
        for (const DelegateEvent& event : delegate->events()) {
            if (event.kind != Kind::Progress) continue;
            sum += event.first;
            EXPECT_GT(event.second, previous);
            EXPECT_EQ(event.third, kSize);
            previous = event.second;
        }
        EXPECT_EQ(sum, kSize);
        EXPECT_EQ(previous, kSize);
        const std::weak_ptr<Downloader> released = downloader;
        downloader.reset();
        EXPECT_TRUE(waitUntil([&] { return released.expired(); }, kWaitMs));
    }
    expectSameBytes("whole.bin", "whole.bin");
}

}  // namespace
}  // namespace clipmoor::test
