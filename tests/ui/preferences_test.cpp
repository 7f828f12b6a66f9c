// The preferences window with its real panes: the toolbar, the remembered pane, the geometry of
// a pane change and the download folder's dialog.
#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMainWindow>
#include <QScreen>
#include <QTest>
#include <QToolBar>

#include <gtest/gtest.h>

#include <memory>
#include <thread>
#include <vector>

#include "platform/user_defaults.h"
#include "test_environment.h"
#include "ui/preferences/general_pane_view_controller.h"
#include "ui/preferences/update_pane_view_controller.h"
#include "ui/preferences/updater_settings.h"
#include "ui/preferences/zk_preferences_controller.h"

namespace clipmoor {
namespace {

struct StoredUpdaterSettings : UpdaterSettings {
    bool automaticallyDownloadsUpdates() const override { return automatic; }
    void setAutomaticallyDownloadsUpdates(bool value) override { automatic = value; }
    qint64 updateCheckInterval() const override { return interval; }
    void setUpdateCheckInterval(qint64 seconds) override { interval = seconds; }
    std::optional<QDateTime> lastUpdateCheckDate() const override { return lastCheck; }
    bool automatic = false;
    qint64 interval = 86400;
    std::optional<QDateTime> lastCheck;
};

const QString kSelection = QString::fromLatin1(kZKPreferencesSelectionKey);

class PreferencesTest : public testing::Test {
protected:
    // A controller as a fresh start of the application makes it: settings read from the file.
    std::unique_ptr<ZKPreferencesController> start() {
        defaults = std::make_unique<UserDefaults>(settingsFile);
        general = std::make_shared<GeneralPaneViewController>(*defaults);
        update = std::make_shared<UpdatePaneViewController>(updater);
        auto controller = std::make_unique<ZKPreferencesController>(*defaults);
        controller->setModules({general, update});
        return controller;
    }
    static QAction* item(ZKPreferencesController& controller, const QString& identifier) {
        for (QAction* action : controller.toolbar()->actions())
            if (action->data() == identifier) return action;
        return nullptr;
    }

    const QString settingsFile = test::privateHome() + "/preferences.conf";
    StoredUpdaterSettings updater;
    std::unique_ptr<UserDefaults> defaults;
    std::shared_ptr<GeneralPaneViewController> general;
    std::shared_ptr<UpdatePaneViewController> update;
};

TEST_F(PreferencesTest, APaneChosenFromTheKeyboardIsRememberedAndOnlyAKnownOneIsEverSelected) {
    UserDefaults earlier(settingsFile);
    earlier.setValue(QStringLiteral("RemovedPane"), kSelection);
    earlier.synchronize();
    auto controller = start();
    ASSERT_EQ(controller->currentModule(), general.get());
    EXPECT_EQ(controller->selectedItemIdentifier(), "GeneralPane");
    EXPECT_EQ(UserDefaults(settingsFile).stringForKey(kSelection), "GeneralPane");
    EXPECT_TRUE(general->view()->isVisibleTo(controller->window()));

    // Tab to the item, Space to choose it.
    QWidget* button = controller->toolbar()->widgetForAction(item(*controller, "UpdatePane"));
    EXPECT_TRUE(button->focusPolicy() & Qt::TabFocus);
    QTest::keyClick(button, Qt::Key_Space);
    EXPECT_EQ(controller->currentModule(), update.get());
    EXPECT_EQ(controller->window()->windowTitle(), "Update");
    controller.reset();

    controller = start();
    EXPECT_EQ(controller->currentModule(), update.get());
    EXPECT_TRUE(update->view()->isVisibleTo(controller->window()));

    // The same list changes nothing.
    const QList<QAction*> items = controller->toolbar()->actions();
    controller->setModules(controller->modules());
    EXPECT_EQ(controller->toolbar()->actions(), items);

    // A new list, even of the same panes, is rebuilt: one item per pane, in list order.
    controller->setModules({update, general});
    EXPECT_EQ(controller->toolbarItemIdentifiers(), QStringList({"UpdatePane", "GeneralPane"}));
    EXPECT_EQ(controller->currentModule(), update.get());  // still the remembered pane

    // An item naming no pane, and an empty list, change no pane and no stored selection.
    QAction stray;
    stray.setData(QStringLiteral("NoSuchPane"));
    controller->selectModule(&stray);
    controller->setSelectedPreferenceItemWithIdentifier("NoSuchPane");
    controller->setModules({});
    EXPECT_TRUE(controller->toolbar()->actions().isEmpty());
    EXPECT_EQ(controller->currentModule(), update.get());
    EXPECT_EQ(UserDefaults(settingsFile).stringForKey(kSelection), "UpdatePane");
}

TEST_F(PreferencesTest, PaneChangeKeepsTheTopEdgeAndEveryOpeningCentres) {
    auto controller = start();
    QMainWindow* window = controller->window();
    controller->showWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_EQ(window->frameGeometry().center(), screen.center());

    const QRect before = window->frameGeometry();
    item(*controller, "UpdatePane")->trigger();
    QTest::qWait(0);
    const QRect after = window->frameGeometry();
    EXPECT_EQ(after.top(), before.top());
    EXPECT_EQ(after.height() - before.height(),
              update->view()->height() - general->view()->height());
    EXPECT_NE(after.height(), before.height());

    window->move(0, 0);
    window->hide();
    controller->showWindow();
    EXPECT_EQ(window->frameGeometry().center(), screen.center());
}

TEST_F(PreferencesTest, TheGeneralPaneChangesItsSettingsOnlyThroughItsControls) {
    const QString initial = test::privateHome() + "/Downloads/Clipmoor";
    defaults = std::make_unique<UserDefaults>(settingsFile);
    defaults->setValue(initial, "ClipmoorMediaDownloadPath");
    GeneralPaneViewController pane(*defaults);
    pane.view()->show();
    // The clipboard pick-up is off until the user turns it on.
    QCheckBox* box = pane.clipboardPickupCheckBox();
    EXPECT_FALSE(box->isChecked());
    box->setFocus();
    QTest::keyClick(box, Qt::Key_Space);
    EXPECT_TRUE(
        UserDefaults(settingsFile).valueForKey("ClipmoorPicksUpClipboardAddresses").toBool());
    GeneralPaneViewController reopened(*defaults);
    reopened.view();
    EXPECT_TRUE(reopened.clipboardPickupCheckBox()->isChecked());

    // The download folder cannot be typed in, only chosen in the folder dialog.
    QLineEdit* field = pane.downloadsPathTextField();
    QTest::keyClicks(field, "/elsewhere");
    EXPECT_EQ(field->text(), initial);
    const QString videos = test::privateHome() + "/Videos";
    ASSERT_TRUE(QDir().mkpath(videos + "/inner"));
    for (const bool confirm : {false, true}) {
        SCOPED_TRACE(confirm ? "OK" : "Cancel");
        pane.choosePath();
        QFileDialog* dialog = pane.folderDialog();
        ASSERT_TRUE(dialog);
        EXPECT_EQ(dialog->fileMode(), QFileDialog::Directory);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog));  // shown, not run modally
        // The user looks into the home folder and picks "Videos" in it.
        dialog->setDirectory(test::privateHome());
        dialog->findChild<QLineEdit*>("fileNameEdit")->setText("Videos");
        if (confirm)
            static_cast<QDialog*>(dialog)->accept();
        else
            dialog->reject();
        const QString expected = confirm ? videos : initial;
        EXPECT_EQ(field->text(), expected);
        EXPECT_EQ(UserDefaults(settingsFile).stringForKey("ClipmoorMediaDownloadPath"), expected);
        EXPECT_TRUE(test::waitUntil([&] { return !pane.folderDialog(); }));
    }
}

TEST(PreferencesSharedControllerTest, IsMadeOnceEvenWhenThreadsAskAtTheSameTime) {
    std::vector<ZKPreferencesController*> seen(8, nullptr);
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < seen.size(); ++i)
        threads.emplace_back([&seen, i] { seen[i] = ZKPreferencesController::sharedController(); });
    for (auto& thread : threads) thread.join();
    for (ZKPreferencesController* controller : seen) EXPECT_EQ(controller, seen.front());
    EXPECT_EQ(ZKPreferencesController::sharedController(), seen.front());
    EXPECT_EQ(seen.front()->thread(), QCoreApplication::instance()->thread());
}

}  // namespace
}  // namespace clipmoor
