// The address row without the site: recognition's verdicts in the row, the ways in, the clear,
// and a lookup that reaches nobody.
#include <QApplication>
#include <QClipboard>
#include <QSignalSpy>

#include "main_window_fixture.h"

namespace clipmoor {
namespace {

using test::TopRow;

const QString kUnrecognized =
    "We don't recognize this url. Please check to make sure you have avalid youtube video url.";
const QString kVimeo = "We don't do Vimeo videos yet. Please try a youtube url.";

class MainViewControllerTest : public test::MainWindowFixture {
protected:
    // The state a successful lookup leaves behind.
    void offerFormatsByHand() {
        controller->formatPopupButton()->addItems(TopRow::fourFormats());
        controller->formatPopupButton()->setCurrentIndex(0);
        controller->formatPopupButton()->setEnabled(true);
        controller->downloadStartButton()->setEnabled(true);
    }
};

TEST_F(MainViewControllerTest, EveryControlOfTheWindowHasANameForScreenReaders) {
    EXPECT_EQ(field->accessibleName(), "Video address");
    EXPECT_EQ(controller->formatPopupButton()->accessibleName(), "Format");
    for (const QWidget* control : window->findChildren<QWidget*>()) {
        if (control->focusPolicy() == Qt::NoFocus || !control->isVisible()) continue;
        EXPECT_FALSE(control->accessibleName().isEmpty()) << control->objectName().toStdString();
    }
}

TEST_F(MainViewControllerTest, ReturnOnAnAddressThatCannotBeLookedUpGivesItsSheetIfAny) {
    const struct {
        QString address;
        QString sheet;  // none when empty
        bool emptiesTheRow;
    } cases[] = {
        {"https://WWW.YOUTUBE.COM/watch?v=abc", kUnrecognized, false},
        {"https://vimeo.com/76979871", kVimeo, false},
        {" https://www.youtube.com/watch?v=abc", "", false},
        {"https://www.youtube.com/watch?feature=share", "", false},
        // An empty identifier fails at once and empties the row silently.
        {"https://www.youtube.com/watch?v=", "", true},
    };
    QSignalSpy returnPressed(field, &QLineEdit::returnPressed);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.address.toStdString());
        type(c.address);
        offerFormatsByHand();
        pressReturn();
        if (!c.sheet.isEmpty()) answerSheet("Oops...", c.sheet);
        EXPECT_EQ(field->text(), c.emptiesTheRow ? "" : c.address);
        EXPECT_EQ(row(), c.emptiesTheRow ? TopRow::idle() : TopRow::idle(TopRow::fourFormats()));
        test::spinEventLoop(50);
        EXPECT_TRUE(openSheets().isEmpty());
    }
    EXPECT_EQ(returnPressed.count(), 0);  // Return is the row's alone; other keys the field's
    for (const char* command : {"insertTab:", "moveLeft:", "cancelOperation:"})
        EXPECT_FALSE(controller->control(field, field->fieldEditor(), command));
}

TEST_F(MainViewControllerTest,
       APasteIsRecognisedAtOnceAndABrowserMessageWithoutAnAddressIsIgnored) {
    QGuiApplication::clipboard()->setText("https://vimeo.com/1");
    type("");
    QTest::keySequence(field, QKeySequence::Paste);
    EXPECT_EQ(field->text(), "https://vimeo.com/1");
    answerSheet("Oops...", kVimeo);

    // A browser's message without an address (or with something else) changes nothing.
    offerFormatsByHand();
    browserSends(QVariant());
    browserSends(QVariant::fromValue<QObject*>(window.get()));
    EXPECT_EQ(row(), TopRow::formatsOffered());
    EXPECT_TRUE(openSheets().isEmpty());
}

// This process never starts the site: its hosts lead to a closed loopback port.
TEST_F(MainViewControllerTest, UnreachableSiteEndsSilentlyWithAnEmptyRow) {
    enter("https://www.youtube.com/watch?v=AllStreams1");
    EXPECT_EQ(row(), TopRow::lookingUp());
    ASSERT_TRUE(lookupEnds());
    EXPECT_EQ(field->text(), "");
    EXPECT_EQ(row(), TopRow::idle());
    test::spinEventLoop(50);
    EXPECT_TRUE(openSheets().isEmpty());
}

}  // namespace
}  // namespace clipmoor
