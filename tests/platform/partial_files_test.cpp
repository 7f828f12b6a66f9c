// Opening and discarding the partial files that resume data names, and sweeping partial files
// that no record refers to: only our own files in our own folder are ever touched.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>

#include <unistd.h>

#include "platform/http/partial_files.h"
#include "platform/http/resume_data.h"
#include "test_environment.h"

namespace clipmoor::test {
namespace {

class PartialFilesTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(QDir().mkpath(folder_) && QDir().mkpath(outside_)); }

    QString makeFile(const QString& path) {
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("partial bytes");
        return path;
    }

    QTemporaryDir root_;
    const QString folder_ = root_.path() + "/partial", outside_ = root_.path() + "/outside";
};

TEST_F(PartialFilesTest, OnlyOurOwnSingleNamedPartialFileIsOpenedOrDiscarded) {
    const QString ours = makeFile(folder_ + "/clipmoor-AbC123.part");
    const QString elsewhere = makeFile(outside_ + "/clipmoor-Zzz999.part");
    const QString wrongName = makeFile(folder_ + "/notes.txt");
    const QString link = folder_ + "/clipmoor-Link00.part";
    ASSERT_EQ(::symlink(QFile::encodeName(elsewhere).constData(), QFile::encodeName(link)), 0);
    // A second name inside the folder for a file that lives elsewhere too.
    const QString target = makeFile(outside_ + "/precious.txt");
    const QString hardLink = folder_ + "/clipmoor-Hard00.part";
    ASSERT_EQ(::link(QFile::encodeName(target).constData(), QFile::encodeName(hardLink)), 0);

    const struct {
        QString path;  // as the resume data names it
        QString file;  // what must survive a refusal
        bool ours;
    } cases[] = {
        {elsewhere, elsewhere, false},
        {wrongName, wrongName, false},
        {link, elsewhere, false},
        {hardLink, hardLink, false},
        {folder_ + "/../outside/clipmoor-Zzz999.part", elsewhere, false},
        {ours, ours, true},
    };
    discardResumeData("{damaged", folder_);  // names no file at all
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        int fd = -1;
        const std::optional<Error> refused = openPartialFile(c.path, folder_, &fd);
        EXPECT_EQ(!refused, c.ours);
        EXPECT_TRUE(!refused || refused->is(kPOSIXErrorDomain, ENOENT));
        if (fd >= 0) ::close(fd);

        discardResumeData(
            ResumeData{QUrl("https://h/a.mp4"), c.path, 13, "\"abc\"", {}, -1}.encode(), folder_);
        EXPECT_EQ(QFile::exists(c.file), !c.ours);
    }
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_EQ(QFileInfo(target).size(), 13);
}

TEST_F(PartialFilesTest, SweepKeepsReferencedNewAndForeignFiles) {
    const QString referenced = makeFile(folder_ + "/clipmoor-Ref001.part");
    const QString orphan = makeFile(folder_ + "/clipmoor-Orph01.part");
    const QString foreign = makeFile(folder_ + "/keep-me.txt");
    const QString outsideOrphan = makeFile(outside_ + "/clipmoor-Out001.part");
    spinEventLoop(20);  // the sweep keeps files changed after it began

    std::atomic<int> removed{-1};
    sweepUnreferencedPartialFiles({referenced}, folder_, [&](int count) { removed = count; });
    const QString startedLater = makeFile(folder_ + "/clipmoor-New001.part");
    ASSERT_TRUE(waitUntil([&] { return removed.load() >= 0; }));

    EXPECT_EQ(removed.load(), 1);
    EXPECT_FALSE(QFile::exists(orphan));
    for (const QString& kept : {referenced, foreign, outsideOrphan, startedLater})
        EXPECT_TRUE(QFile::exists(kept)) << kept.toStdString();
}

}  // namespace
}  // namespace clipmoor::test
