// The top row without the network: recognition, the sheets, the four ways in, the clear.
#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

#include "main_window/main_view_controller.h"
#include "main_window/main_window.h"
#include "platform/notification_center.h"
#include "test_environment.h"
#include "top_row_probe.h"
#include "ui/clipmoor_text_view.h"

namespace clipmoor {
namespace {

using test::openSheets;
using test::TopRow;

const QString kUnrecognized =
    "We don't recognize this url. Please check to make sure you have avalid youtube video url.";
const QString kVimeo = "We don't do Vimeo videos yet. Please try a youtube url.";

class MainViewControllerTest : public testing::Test {
protected:
    void SetUp() override {
        window = std::make_unique<MainWindow>();
        window->show();
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
        controller = window->mainViewController();
        field = controller->urlTextField();
    }
    void TearDown() override { QGuiApplication::clipboard()->clear(); }

    // Clicks into the idle field (which empties it) and types `address`.
    void type(const QString& address) {
        stopEditing();
        QTest::mouseClick(field, Qt::LeftButton);
        field->setText(address);
    }
    void pressReturn() { QTest::keyClick(field, Qt::Key_Return); }
    void enter(const QString& address) {
        type(address);
        pressReturn();
    }
    // Moves the focus away from the address field, as when the user works elsewhere.
    void stopEditing() { field->clearFocus(); }
    void browserSends(const QVariant& object) {
        NotificationCenter::defaultCenter().post(
            kClipmoorDidRecieveURLFromBrowserExtensionNotification, object);
    }
    // Puts the pop-up in the state a successful lookup leaves it in.
    void offerFormatsByHand() {
        controller->formatPopupButton()->addItems(
            {"mp4 720p", "mp4 360p", "mp4 240p", "mp4 Audio"});
        controller->formatPopupButton()->setEnabled(true);
        controller->downloadStartButton()->setEnabled(true);
        controller->formatPopupButton()->setCurrentIndex(0);
    }
    void expectOneSheet(const QString& message, const QString& informativeText) {
        const QList<QMessageBox*> sheets = openSheets(window.get());
        ASSERT_EQ(sheets.size(), 1);
        QMessageBox* sheet = sheets.first();
        EXPECT_EQ(sheet->text(), message);
        EXPECT_EQ(sheet->informativeText(), informativeText);
        EXPECT_EQ(sheet->icon(), QMessageBox::Warning);
        EXPECT_EQ(sheet->windowModality(), Qt::WindowModal);
        ASSERT_EQ(sheet->buttons().size(), 1);
        EXPECT_EQ(sheet->buttons().first()->text(), "OK");
        QTest::mouseClick(sheet->buttons().first(), Qt::LeftButton);
        EXPECT_TRUE(test::waitUntil([&] { return openSheets(window.get()).isEmpty(); }));
    }

    std::unique_ptr<MainWindow> window;
    MainViewController* controller = nullptr;
    ClipmoorTextField* field = nullptr;
};

TEST_F(MainViewControllerTest, StartsIdleWithAnEmptyDisabledPopupAndIsTheFieldsDelegate) {
    EXPECT_EQ(TopRow::of(*controller), TopRow::idle());
    EXPECT_EQ(field->delegate(), controller);
    EXPECT_EQ(window->windowTitle(), "Clipmoor");
    EXPECT_FALSE(field->placeholderText().isEmpty());
}

TEST_F(MainViewControllerTest, OtherHostsGetTheUnrecognisedAddressSheetAndKeepTheirText) {
    for (const QString address :
         {"https://WWW.YOUTUBE.COM/watch?v=abc", "https://youtube.com/watch?v=abc",
          "https://m.youtube.com/watch?v=abc", "https://example.com/"}) {
        SCOPED_TRACE(address.toStdString());
        type(address);
        offerFormatsByHand();
        pressReturn();
        expectOneSheet("Oops...", kUnrecognized);
        EXPECT_EQ(field->text(), address);
        EXPECT_EQ(TopRow::of(*controller), TopRow::idle(TopRow::formatsOffered().popupItems));
        controller->formatPopupButton()->clear();
    }
}

TEST_F(MainViewControllerTest, TheSecondVideoSiteGetsItsOwnSheet) {
    enter("https://vimeo.com/76979871");
    expectOneSheet("Oops...", kVimeo);
    EXPECT_EQ(field->text(), "https://vimeo.com/76979871");
}

TEST_F(MainViewControllerTest, UnusableAddressesDoNothingAtAll) {
    for (const QString address :
         {" https://www.youtube.com/watch?v=abc", "https://www.youtube.com/watch?v=abc ",
          "youtu.be/dQw4w9WgXcQ", "https://www.youtube.com/watch?feature=share", "no address"}) {
        SCOPED_TRACE(address.toStdString());
        type(address);
        offerFormatsByHand();
        pressReturn();
        // Step one of recognition disables the pop-up and the start button; nothing else moves.
        EXPECT_EQ(TopRow::of(*controller), TopRow::idle(TopRow::formatsOffered().popupItems));
        EXPECT_EQ(field->text(), address);
        EXPECT_TRUE(openSheets(window.get()).isEmpty());
        controller->formatPopupButton()->clear();
    }
}

TEST_F(MainViewControllerTest, EmptyVideoIdentifierFailsAtOnceAndEmptiesTheFieldSilently) {
    type("https://www.youtube.com/watch?v=");
    offerFormatsByHand();
    pressReturn();
    EXPECT_EQ(field->text(), "");
    EXPECT_EQ(TopRow::of(*controller), TopRow::idle());
    test::spinEventLoop(50);
    EXPECT_TRUE(openSheets(window.get()).isEmpty());
}

TEST_F(MainViewControllerTest, ReturnIsConsumedAndOtherCommandsAreLeftToTheField) {
    ClipmoorTextView* editor = field->fieldEditor();
    field->setText("https://example.com/");
    EXPECT_FALSE(controller->control(field, editor, "insertTab:"));
    EXPECT_FALSE(controller->control(field, editor, "moveLeft:"));
    EXPECT_FALSE(controller->control(field, editor, "cancelOperation:"));
    EXPECT_TRUE(openSheets(window.get()).isEmpty());

    QSignalSpy returnPressed(field, &QLineEdit::returnPressed);
    enter("https://example.com/");
    EXPECT_EQ(returnPressed.count(), 0);
    expectOneSheet("Oops...", kUnrecognized);
}

TEST_F(MainViewControllerTest, PasteIsRecognisedAtOnceWithThePastedText) {
    QGuiApplication::clipboard()->setText("https://vimeo.com/1");
    field->setText("stale");
    stopEditing();
    QTest::mouseClick(field, Qt::LeftButton);  // an idle field empties on the click
    QTest::keySequence(field, QKeySequence::Paste);
    EXPECT_EQ(field->text(), "https://vimeo.com/1");
    expectOneSheet("Oops...", kVimeo);
}

TEST_F(MainViewControllerTest, BrowserAddressFillsTheFieldAndIsRecognised) {
    browserSends(QString("https://example.com/watch?v=abc"));
    EXPECT_EQ(field->text(), "https://example.com/watch?v=abc");
    expectOneSheet("Oops...", kUnrecognized);
}

TEST_F(MainViewControllerTest, BrowserNotificationWithoutAnAddressChangesNothing) {
    offerFormatsByHand();
    field->setText("https://www.youtube.com/watch?v=abc");
    const TopRow before = TopRow::of(*controller);

    browserSends(QVariant());
    browserSends(QVariant::fromValue<QObject*>(window.get()));
    EXPECT_EQ(TopRow::of(*controller), before);
    EXPECT_EQ(field->text(), "https://www.youtube.com/watch?v=abc");
    EXPECT_TRUE(openSheets(window.get()).isEmpty());
}

TEST_F(MainViewControllerTest, ClickIntoTheIdleFieldEmptiesItAndThePopup) {
    int clears = 0;
    ObserverToken token = NotificationCenter::defaultCenter().addObserver(
        kClipmoorTextFieldDidClearText, [&clears](const Notification&) { ++clears; });
    offerFormatsByHand();
    field->setText("https://www.youtube.com/watch?v=abc");
    stopEditing();

    QTest::mouseClick(field, Qt::LeftButton);
    EXPECT_EQ(clears, 1);
    EXPECT_EQ(field->text(), "");
    EXPECT_EQ(TopRow::of(*controller), TopRow::idle());
}

TEST_F(MainViewControllerTest, ParsingErrorSheetHasTheRefusalTexts) {
    controller->showParsingError();
    expectOneSheet("Unable to download Video.",
                   "Watch this video on YouTube. Playback/Downloading has been disabled by "
                   "Youtube and the video owner.");
}

TEST_F(MainViewControllerTest, ObserversEndWithTheController) {
    window.reset();
    // Nothing may reach the destroyed controller.
    NotificationCenter::defaultCenter().post(kClipmoorDidRecieveURLFromBrowserExtensionNotification,
                                             QString("https://example.com/"));
    NotificationCenter::defaultCenter().post(kClipmoorTextViewDidPasteNotification);
    NotificationCenter::defaultCenter().post(kClipmoorTextFieldDidClearText);
    SUCCEED();
}

}  // namespace
}  // namespace clipmoor
