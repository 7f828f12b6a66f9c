#pragma once

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

#include "download/clipmoor_model.h"
#include "download/video.h"
#include "download/video_presenter.h"
#include "platform/object_store/managed_object_context.h"
#include "platform/user_defaults.h"
#include "test_environment.h"

namespace clipmoor::test {

// A user interface of the test's own: remembers what records ask of it.
class RecordingPresenter : public VideoPresenter {
public:
    struct Sheet {
        QString messageText;
        QString informativeText;
        QStringList buttonTitles;
        std::function<void(int)> completion;
    };
    void showSheet(const QString& messageText, const QString& informativeText,
                   const QStringList& buttonTitles,
                   std::function<void(int buttonIndex)> completion) override {
        sheets.push_back({messageText, informativeText, buttonTitles, std::move(completion)});
    }
    void playMediaFile(const QUrl& fileURL, const QString& title) override {
        played.push_back({fileURL, title});
    }
    void showFeedbackDialog() override { ++feedbackDialogs; }

    std::vector<Sheet> sheets;
    std::vector<std::pair<QUrl, QString>> played;
    int feedbackDialogs = 0;
};

// A private download folder and store file, a context on it, and the recording presenter.
class VideoTest : public ::testing::Test {
protected:
    QTemporaryDir dir_{privateHome() + "/video-XXXXXX"};

    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        downloadFolder = dir_.filePath("Downloads");
        UserDefaults::standard().setValue(downloadFolder, "ClipmoorMediaDownloadPath");
        Video::setPresenter(&presenter);
        context = openContext();
    }
    void TearDown() override {
        context.reset();
        Video::setPresenter(nullptr);
    }

    // A new context on the test's store file.
    std::unique_ptr<ManagedObjectContext> openContext() {
        auto coordinator = std::make_shared<PersistentStoreCoordinator>(loadClipmoorModel());
        Error error;
        EXPECT_TRUE(coordinator->addPersistentStore(
            NSSQLiteStoreType, QUrl::fromLocalFile(dir_.filePath("Clipmoor.storedata")), &error))
            << error.debugDescription().toStdString();
        auto opened = std::make_unique<ManagedObjectContext>();
        opened->setPersistentStoreCoordinator(coordinator);
        return opened;
    }

    std::shared_ptr<Video> insertVideo(const QString& fileName = "Clip(360p)") {
        auto video = context->insertNewObjectForEntityForName<Video>("Video");
        video->setFileName(fileName);
        video->setFileExtension("mp4");
        return video;
    }

    // Writes `size` bytes at `path`, making its folder.
    static void writeFile(const QString& path, qint64 size) {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(size, 'v'));
    }

    RecordingPresenter presenter;
    QString downloadFolder;
    std::unique_ptr<ManagedObjectContext> context;
};

}  // namespace clipmoor::test
