#pragma once

#include <QAbstractButton>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

#include "download/clipmoor_model.h"
#include "download/video.h"
#include "main_window/main_view_controller.h"
#include "main_window/main_window.h"
#include "main_window/thumbnail_loader.h"
#include "platform/http/transfer_engine.h"
#include "platform/notification_center.h"
#include "platform/object_store/managed_object_context.h"
#include "platform/user_defaults.h"
#include "store/core_data_controller.h"
#include "test_environment.h"
#include "test_site.h"
#include "ui/video_item_view.h"

namespace clipmoor::test {

// A main window over a store of its own in a private home, with the local copy of the site.
class DownloadListFixture : public testing::Test {
protected:
    static void SetUpTestSuite() { TestSite::shared(); }

    void SetUp() override {
        downloadFolder = privateHome() + "/Downloads/Clipmoor";
        QDir().mkpath(downloadFolder);
        UserDefaults::standard().setValue(downloadFolder, "ClipmoorMediaDownloadPath");
        openWindow();
    }
    void TearDown() override {
        // Deleting the records stops their operations, as removing them from the list does.
        if (controller) {
            for (const auto& video : records()) context()->deleteObject(video);
            EXPECT_TRUE(
                waitUntil([&] { return controller->thumbnailLoader()->fetchesUnderWay() == 0; }));
        }
        closeWindow();
        // Transfers still running at exit would race the process's own clean-up.
        EXPECT_TRUE(waitUntil([] { return TransferEngine::shared().activeTransferCount() == 0; }));
    }

    // Opens the store and a window on it, as a start of the application does.
    void openWindow() {
        store = std::make_unique<CoreDataController>(loadClipmoorModel);
        window = std::make_unique<MainWindow>(store.get());
        window->show();
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
        controller = window->mainViewController();
    }
    // Everything goes, as at the end of the application.
    void closeWindow() {
        window.reset();
        store.reset();
        controller = nullptr;
    }

    ManagedObjectContext* context() const { return controller->managedObjectContext(); }
    std::vector<std::shared_ptr<Video>> records() const {
        std::vector<std::shared_ptr<Video>> list;
        for (const auto& object : *controller->fetchedResultsController()->fetchedObjectsNoCopy())
            list.push_back(std::dynamic_pointer_cast<Video>(object));
        return list;
    }
    TVKTableView* table() const { return controller->tableView(); }
    VideoItemView* rowView(int row) const {
        return static_cast<VideoItemView*>(table()->viewAtRow(row));
    }
    // Every row on screen shows the record of its position in the list.
    void expectRowsMatchRecords() const {
        const auto list = records();
        ASSERT_EQ(table()->numberOfRows(), int(list.size()));
        const auto [first, last] = table()->visibleRowRange();
        for (int row = first; row <= last; ++row) {
            ASSERT_NE(rowView(row), nullptr) << row;
            EXPECT_EQ(rowView(row)->video(), list[row]) << row;
        }
    }

    // Looks `videoID` up through the address row and waits for the formats.
    void lookUp(const QString& videoID) {
        NotificationCenter::defaultCenter().post(
            kClipmoorDidRecieveURLFromBrowserExtensionNotification,
            QString("https://www.youtube.com/watch?v=" + videoID));
        ASSERT_TRUE(waitUntil([&] {
            return controller->urlTextField()->isEnabled() &&
                   controller->downloadStartButton()->isEnabled();
        }));
    }
    void startDownload(const QString& formatTitle) {
        controller->formatPopupButton()->setCurrentText(formatTitle);
        ASSERT_EQ(controller->formatPopupButton()->currentText(), formatTitle);
        QTest::mouseClick(controller->downloadStartButton(), Qt::LeftButton);
        context()->processPendingChanges();  // the new record reaches the list now
    }
    // A record put straight into the store, as an earlier run would have left it.
    std::shared_ptr<Video> addRecord(const QString& fileName, qint16 state,
                                     const QString& videoID = "AllStreams1") {
        auto video = context()->insertNewObjectForEntityForName<Video>("Video");
        video->setVideoID(videoID);
        video->setTitle(fileName);
        video->setFileName(fileName);
        video->setFileExtension("mp4");
        video->setDownloadState(state);
        store->saveAction();
        context()->processPendingChanges();
        return video;
    }
    QString writeFile(const QString& name, qint64 size) const {
        QFile file(downloadFolder + "/" + name);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(size, 'x'));
        return file.fileName();
    }

    QList<QMessageBox*> openSheets() const {
        QList<QMessageBox*> open;
        for (QMessageBox* box : window->findChildren<QMessageBox*>())
            if (box->isVisible()) open.append(box);
        return open;
    }
    // Expects exactly one open warning sheet with these texts and buttons; presses `press`.
    void answerSheet(const QString& message, const QString& informativeText,
                     const QStringList& buttons, const QString& press) {
        ASSERT_TRUE(waitUntil([&] { return !openSheets().isEmpty(); }));
        const QList<QMessageBox*> sheets = openSheets();
        ASSERT_EQ(sheets.size(), 1);
        QMessageBox* sheet = sheets[0];
        EXPECT_EQ(sheet->text(), message);
        EXPECT_EQ(sheet->informativeText(), informativeText);
        EXPECT_EQ(sheet->icon(), QMessageBox::Warning);
        EXPECT_EQ(sheet->windowModality(), Qt::WindowModal);
        QStringList titles;
        QAbstractButton* chosen = nullptr;
        for (QAbstractButton* button : sheet->buttons()) {
            titles.append(button->text());
            if (button->text() == press) chosen = button;
        }
        titles.sort();
        QStringList expected = buttons;
        expected.sort();
        EXPECT_EQ(titles, expected);
        ASSERT_NE(chosen, nullptr);
        QTest::mouseClick(chosen, Qt::LeftButton);
        EXPECT_TRUE(waitUntil([&] { return openSheets().isEmpty(); }));
    }

    QString downloadFolder;
    std::unique_ptr<CoreDataController> store;
    std::unique_ptr<MainWindow> window;
    MainViewController* controller = nullptr;
};

}  // namespace clipmoor::test
