// The address row without the network: recognition, the sheets, the ways in, the clear.
#include <QApplication>
#include <QClipboard>
#include <QSignalSpy>

#include "platform/notification_center.h"
#include "top_row_probe.h"
#include "ui/clipmoor_text_view.h"

namespace clipmoor {
namespace {

using test::TopRow;

const QString kUnrecognized =
    "We don't recognize this url. Please check to make sure you have avalid youtube video url.";
const QString kVimeo = "We don't do Vimeo videos yet. Please try a youtube url.";

class MainViewControllerTest : public test::MainWindowFixture {
protected:
    void TearDown() override { QGuiApplication::clipboard()->clear(); }
    // The state a successful lookup leaves behind.
    void offerFormatsByHand() {
        controller->formatPopupButton()->addItems(TopRow::fourFormats());
        controller->formatPopupButton()->setCurrentIndex(0);
        controller->formatPopupButton()->setEnabled(true);
        controller->downloadStartButton()->setEnabled(true);
    }
};

TEST_F(MainViewControllerTest, StartsIdleAsTheFieldsDelegate) {
    EXPECT_EQ(row(), TopRow::idle());
    EXPECT_EQ(field->delegate(), controller);
    EXPECT_EQ(window->windowTitle(), "Clipmoor");
}

TEST_F(MainViewControllerTest, OtherHostsGetTheirSheetKeepTheirTextAndLeaveThePopupDisabled) {
    const QList<std::pair<QString, QString>> cases = {
        {"https://WWW.YOUTUBE.COM/watch?v=abc", kUnrecognized},
        {"https://vimeo.com/76979871", kVimeo}};
    for (const auto& [address, text] : cases) {
        SCOPED_TRACE(address.toStdString());
        type(address);
        offerFormatsByHand();
        pressReturn();
        expectOneSheet("Oops...", text);
        EXPECT_EQ(field->text(), address);
        EXPECT_EQ(row(), TopRow::idle(TopRow::fourFormats()));
    }
}

TEST_F(MainViewControllerTest, UnusableAddressesOnlyDisableThePopup) {
    for (const QString address :
         {" https://www.youtube.com/watch?v=abc", "https://www.youtube.com/watch?feature=share"}) {
        SCOPED_TRACE(address.toStdString());
        type(address);
        offerFormatsByHand();
        pressReturn();
        EXPECT_EQ(row(), TopRow::idle(TopRow::fourFormats()));
        EXPECT_EQ(field->text(), address);
        EXPECT_TRUE(openSheets().isEmpty());
    }
}

TEST_F(MainViewControllerTest, EmptyIdentifierFailsAtOnceAndEmptiesTheRowSilently) {
    type("https://www.youtube.com/watch?v=");
    offerFormatsByHand();
    pressReturn();
    EXPECT_EQ(field->text(), "");
    EXPECT_EQ(row(), TopRow::idle());
    test::spinEventLoop(50);
    EXPECT_TRUE(openSheets().isEmpty());
}

TEST_F(MainViewControllerTest, ReturnIsConsumedAndOtherCommandsAreLeftToTheField) {
    for (const char* command : {"insertTab:", "moveLeft:", "cancelOperation:"})
        EXPECT_FALSE(controller->control(field, field->fieldEditor(), command));
    QSignalSpy returnPressed(field, &QLineEdit::returnPressed);
    enter("https://example.com/");
    EXPECT_EQ(returnPressed.count(), 0);
    expectOneSheet("Oops...", kUnrecognized);
}

TEST_F(MainViewControllerTest, PasteAndBrowserAddressesAreRecognisedAtOnce) {
    QGuiApplication::clipboard()->setText("https://vimeo.com/1");
    type("");
    QTest::keySequence(field, QKeySequence::Paste);
    EXPECT_EQ(field->text(), "https://vimeo.com/1");
    expectOneSheet("Oops...", kVimeo);

    browserSends(QString("https://example.com/watch?v=abc"));
    EXPECT_EQ(field->text(), "https://example.com/watch?v=abc");
    expectOneSheet("Oops...", kUnrecognized);

    // Without an address (or with something else) nothing changes.
    offerFormatsByHand();
    browserSends(QVariant());
    browserSends(QVariant::fromValue<QObject*>(window.get()));
    EXPECT_EQ(row(), TopRow::formatsOffered());
    EXPECT_TRUE(openSheets().isEmpty());
}

TEST_F(MainViewControllerTest, ClickIntoTheIdleFieldEmptiesItAndThePopup) {
    offerFormatsByHand();
    type("");
    EXPECT_EQ(row(), TopRow::idle());
}

TEST_F(MainViewControllerTest, NothingReachesAControllerThatIsGone) {
    window.reset();
    NotificationCenter& center = NotificationCenter::defaultCenter();
    center.post(kClipmoorDidRecieveURLFromBrowserExtensionNotification, QString("https://a.b/"));
    center.post(kClipmoorTextViewDidPasteNotification);
    center.post(kClipmoorTextFieldDidClearText);
}

}  // namespace
}  // namespace clipmoor
