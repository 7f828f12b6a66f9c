#pragma once

#include <QAbstractButton>
#include <QMessageBox>
#include <QTest>

#include <gtest/gtest.h>

#include <ostream>

#include "main_window/main_view_controller.h"
#include "main_window/main_window.h"
#include "test_environment.h"

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

// A shown main window and the ways a user reaches its address row.
class MainWindowFixture : public testing::Test {
protected:
    void SetUp() override {
        window = std::make_unique<MainWindow>();
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
    // Expects exactly one open sheet with these texts, a warning with one "OK", and closes it.
    void expectOneSheet(const QString& message, const QString& informativeText) {
        const QList<QMessageBox*> sheets = openSheets();
        ASSERT_EQ(sheets.size(), 1);
        EXPECT_EQ(sheets[0]->text(), message);
        EXPECT_EQ(sheets[0]->informativeText(), informativeText);
        EXPECT_EQ(sheets[0]->icon(), QMessageBox::Warning);
        EXPECT_EQ(sheets[0]->windowModality(), Qt::WindowModal);
        ASSERT_EQ(sheets[0]->buttons().size(), 1);
        EXPECT_EQ(sheets[0]->buttons()[0]->text(), "OK");
        QTest::mouseClick(sheets[0]->buttons()[0], Qt::LeftButton);
        EXPECT_TRUE(waitUntil([&] { return openSheets().isEmpty(); }));
    }

    std::unique_ptr<MainWindow> window;
    MainViewController* controller = nullptr;
    ClipmoorTextField* field = nullptr;
};

}  // namespace clipmoor::test
