#pragma once

#include <QAbstractButton>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <ostream>

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

// What the user sees of the top row, as one value that tests compare whole.
struct TopRow {
    bool fieldEnabled = true, indicatorShown = false, popupEnabled = false, startEnabled = false;
    QStringList popupItems;
    int popupSelection = -1;

    static TopRow of(const MainViewController& c) {
        const auto* indicator = c.urlparserProgressIndicator();
        TopRow row{c.urlTextField()->isEnabled(),
                   !indicator->isHidden() && indicator->isAnimating(),
                   c.formatPopupButton()->isEnabled(),
                   c.downloadStartButton()->isEnabled(),
                   {},
                   c.formatPopupButton()->currentIndex()};
        for (int i = 0; i < c.formatPopupButton()->count(); ++i)
            row.popupItems.append(c.formatPopupButton()->itemText(i));
        return row;
    }
    static QStringList fourFormats() { return {"mp4 720p", "mp4 360p", "mp4 240p", "mp4 Audio"}; }
    // Idle or rejected; items may be left over from an earlier lookup.
    static TopRow idle(QStringList leftOver = {}) {
        return {true, false, false, false, leftOver, leftOver.isEmpty() ? -1 : 0};
    }
    static TopRow lookingUp() { return {false, true, false, false, {}, -1}; }
    static TopRow formatsOffered() { return {true, false, true, true, fourFormats(), 0}; }
    bool operator==(const TopRow&) const = default;
};

inline void PrintTo(const TopRow& r, std::ostream* out) {
    *out << "{field " << r.fieldEnabled << ", indicator " << r.indicatorShown << ", pop-up "
         << r.popupEnabled << " [" << qPrintable(r.popupItems.join(", ")) << "] selection "
         << r.popupSelection << ", start " << r.startEnabled << "}";
}

// A shown main window (without a store unless a test gives it one) and the ways a user reaches
// its address row and its sheets.
class MainWindowFixture : public testing::Test {
protected:
    void SetUp() override { openWindow(); }

    void openWindow(CoreDataController* store = nullptr) {
        window = std::make_unique<MainWindow>(store);
        window->show();
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
        controller = window->mainViewController();
        field = controller->urlTextField();
    }
    TopRow row() const { return TopRow::of(*controller); }
    // Clicks into the idle field (which empties it) and types `address`.
    void type(const QString& address) {
        field->clearFocus();
        QTest::mouseClick(field, Qt::LeftButton);
        field->setText(address);
    }
    void pressReturn() { QTest::keyClick(field, Qt::Key_Return); }
    void enter(const QString& address) {
        type(address);
        pressReturn();
    }
    void browserSends(const QVariant& object) {
        NotificationCenter::defaultCenter().post(
            kClipmoorDidRecieveURLFromBrowserExtensionNotification, object);
    }
    bool lookupEnds() const {
        return waitUntil([&] { return field->isEnabled(); });
    }
    QList<QMessageBox*> openSheets() const {
        QList<QMessageBox*> open;
        for (QMessageBox* box : window->findChildren<QMessageBox*>())
            if (box->isVisible()) open.append(box);
        return open;
    }
    // Expects exactly one open window-modal warning sheet with these texts and buttons, and
    // presses `press` in it.
    void answerSheet(const QString& message, const QString& informativeText,
                     QStringList buttons = {"OK"}, const QString& press = "OK") {
        ASSERT_TRUE(waitUntil([&] { return openSheets().size() == 1; }));
        QMessageBox* sheet = openSheets()[0];
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
        buttons.sort();
        EXPECT_EQ(titles, buttons);
        ASSERT_NE(chosen, nullptr);
        QTest::mouseClick(chosen, Qt::LeftButton);
        EXPECT_TRUE(waitUntil([&] { return openSheets().isEmpty(); }));
    }

    std::unique_ptr<MainWindow> window;
    MainViewController* controller = nullptr;
    ClipmoorTextField* field = nullptr;
};

// A main window over a store of its own in a private home, with the local copy of the site.
class DownloadListFixture : public MainWindowFixture {
protected:
    static void SetUpTestSuite() { TestSite::shared(); }

    void SetUp() override {
        downloadFolder = privateHome() + "/Downloads/Clipmoor";
        QDir().mkpath(downloadFolder);
        UserDefaults::standard().setValue(downloadFolder, "ClipmoorMediaDownloadPath");
        openStoreAndWindow();
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

    void openStoreAndWindow() {
        store = std::make_unique<CoreDataController>(loadClipmoorModel);
        openWindow(store.get());
    }
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

    void lookUp(const QString& videoID) {
        browserSends(QString("https://www.youtube.com/watch?v=" + videoID));
        ASSERT_TRUE(lookupEnds());
        ASSERT_TRUE(controller->downloadStartButton()->isEnabled());
    }
    void startDownload(const QString& formatTitle) {
        controller->formatPopupButton()->setCurrentText(formatTitle);
        ASSERT_EQ(controller->formatPopupButton()->currentText(), formatTitle);
        QTest::mouseClick(controller->downloadStartButton(), Qt::LeftButton);
        context()->processPendingChanges();  // the new record reaches the list now
    }
    // A saved record, shown as a row (which gives a queued one its operation); as an earlier
    // run would have left it when `url` is empty.
    std::shared_ptr<Video> addRecord(const QString& fileName, qint16 state,
                                     const QString& videoID = "Missing0001", const QUrl& url = {},
                                     const QString& itag = "18") {
        auto video = context()->insertNewObjectForEntityForName<Video>("Video");
        video->setVideoID(videoID);
        video->setItag(itag);
        video->setTitle(fileName);
        video->setFileName(fileName);
        video->setFileExtension("mp4");
        if (!url.isEmpty()) video->setDownloadURL(url.toString());
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
    static bool reaches(const std::shared_ptr<Video>& video, qint16 state) {
        return waitUntil([&] { return video->downloadState() == state; }, 60'000);
    }

    QString downloadFolder;
    std::unique_ptr<CoreDataController> store;
};

}  // namespace clipmoor::test
