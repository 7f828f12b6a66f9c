#include <QApplication>
#include <QClipboard>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <memory>

#include "platform/notification_center.h"
#include "ui/clipmoor_text_field.h"
#include "ui/clipmoor_text_view.h"

namespace clipmoor {
namespace {

// Answers true for the commands it is told to take, and remembers every command offered.
class RecordingDelegate : public ClipmoorTextFieldDelegate {
public:
    bool control(ClipmoorTextField*, ClipmoorTextView* textView,
                 const QString& commandSelector) override {
        offered.append(commandSelector);
        lastTextView = textView;
        return handled.contains(commandSelector);
    }
    QStringList handled;
    QStringList offered;
    ClipmoorTextView* lastTextView = nullptr;
};

// Counts the posts of one notification and what the field held at that moment.
struct NotificationRecorder {
    NotificationRecorder(const char* name, const ClipmoorTextField* field) {
        token = NotificationCenter::defaultCenter().addObserver(
            QString::fromLatin1(name), [this, field](const Notification& notification) {
                ++count;
                object = notification.object;
                fieldTextWhenPosted = field->text();
            });
    }
    int count = 0;
    QVariant object;
    QString fieldTextWhenPosted;
    ObserverToken token;
};

class ClipmoorTextFieldTest : public testing::Test {
protected:
    void SetUp() override {
        window = std::make_unique<QWidget>();
        auto* layout = new QVBoxLayout(window.get());
        field = new ClipmoorTextField(window.get());
        other = new QLineEdit(window.get());
        layout->addWidget(field);
        layout->addWidget(other);
        field->setDelegate(&delegate);
        window->show();
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
        other->setFocus();
        ASSERT_TRUE(other->hasFocus());
    }
    void TearDown() override { QGuiApplication::clipboard()->clear(); }

    void startEditing() {
        field->setFocus(Qt::TabFocusReason);
        ASSERT_TRUE(field->hasFocus());
    }

    std::unique_ptr<QWidget> window;
    ClipmoorTextField* field = nullptr;
    QLineEdit* other = nullptr;
    RecordingDelegate delegate;
};

TEST_F(ClipmoorTextFieldTest, ClickIntoIdleFieldEmptiesItAnnouncesOnceAndStartsEditing) {
    NotificationRecorder cleared(kClipmoorTextFieldDidClearText, field);
    field->setText("https://www.youtube.com/watch?v=old");

    QTest::mouseClick(field, Qt::LeftButton);
    EXPECT_EQ(field->text(), "");
    EXPECT_EQ(cleared.count, 1);
    EXPECT_EQ(cleared.object.value<QObject*>(), field);
    EXPECT_TRUE(field->hasFocus());
    QTest::keyClicks(field, "typed");
    EXPECT_EQ(field->text(), "typed");

    // An idle field that is already empty still announces the click.
    other->setFocus();
    field->clear();
    QTest::mouseClick(field, Qt::LeftButton);
    EXPECT_EQ(cleared.count, 2);
}

TEST_F(ClipmoorTextFieldTest, ClickWhileEditingKeepsTheTextAndAnnouncesNothing) {
    NotificationRecorder cleared(kClipmoorTextFieldDidClearText, field);
    startEditing();
    field->setText("keep me");
    field->setCursorPosition(0);

    QTest::mouseClick(field, Qt::LeftButton, {}, field->rect().center());
    EXPECT_EQ(field->text(), "keep me");
    EXPECT_EQ(cleared.count, 0);
    EXPECT_GT(field->cursorPosition(), 0);  // the click went to the editing itself
}

TEST_F(ClipmoorTextFieldTest, DraggingAnythingInEmptiesTheFieldButOnlyLinksAreAccepted) {
    NotificationRecorder cleared(kClipmoorTextFieldDidClearText, field);
    QMimeData plainText;
    plainText.setText("just words");
    field->setText("before");
    QDragEnterEvent refused(field->rect().center(), Qt::CopyAction | Qt::LinkAction, &plainText,
                            Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(field, &refused);
    EXPECT_FALSE(refused.isAccepted());
    EXPECT_EQ(field->text(), "");
    EXPECT_TRUE(field->hasFocus());

    QMimeData link;
    link.setUrls({QUrl("https://www.youtube.com/watch?v=abc")});
    field->setText("before");
    QDragEnterEvent accepted(field->rect().center(), Qt::CopyAction | Qt::LinkAction, &link,
                             Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(field, &accepted);
    EXPECT_TRUE(accepted.isAccepted());
    EXPECT_EQ(accepted.dropAction(), Qt::LinkAction);
    EXPECT_EQ(field->text(), "");
    EXPECT_EQ(cleared.count, 0);
}

TEST_F(ClipmoorTextFieldTest, DropPutsTheLinksFullAddressInTheFieldAndStartsNothing) {
    NotificationRecorder pasted(kClipmoorTextViewDidPasteNotification, field);
    NotificationRecorder cleared(kClipmoorTextFieldDidClearText, field);
    const QString address = "https://www.youtube.com/watch?v=abc&t=1m2s#at%20start";
    QMimeData link;
    link.setUrls({QUrl::fromEncoded(address.toLatin1())});
    link.setText("a title the browser sends along");

    QDragEnterEvent enter(field->rect().center(), Qt::LinkAction, &link, Qt::LeftButton, {});
    QCoreApplication::sendEvent(field, &enter);
    QDropEvent drop(QPointF(field->rect().center()), Qt::LinkAction, &link, Qt::LeftButton, {});
    QCoreApplication::sendEvent(field, &drop);

    EXPECT_TRUE(drop.isAccepted());
    EXPECT_EQ(field->text(), address);
    EXPECT_EQ(pasted.count, 0);
    EXPECT_EQ(cleared.count, 0);
    EXPECT_TRUE(delegate.offered.isEmpty());
}

TEST_F(ClipmoorTextFieldTest, ReturnIsTheDelegatesWhenItTakesItAndTheFieldsOtherwise) {
    startEditing();
    QSignalSpy returnPressed(field, &QLineEdit::returnPressed);

    delegate.handled = {"insertNewline:"};
    QTest::keyClick(field, Qt::Key_Return);
    QTest::keyClick(field, Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(delegate.offered, QStringList({"insertNewline:", "insertNewline:"}));
    EXPECT_EQ(returnPressed.count(), 0);

    delegate.handled.clear();
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_EQ(returnPressed.count(), 1);
}

TEST_F(ClipmoorTextFieldTest, TabAndArrowsAreOfferedFirstAndHandledByTheFieldWhenDeclined) {
    startEditing();
    field->setText("abc");
    field->setCursorPosition(3);

    QTest::keyClick(field, Qt::Key_Left);
    EXPECT_EQ(field->cursorPosition(), 2);
    QTest::keyClick(field, Qt::Key_Tab);
    EXPECT_TRUE(other->hasFocus());
    EXPECT_EQ(delegate.offered, QStringList({"moveLeft:", "insertTab:"}));

    startEditing();
    delegate.handled = {"insertTab:", "moveLeft:"};
    field->setCursorPosition(3);
    QTest::keyClick(field, Qt::Key_Tab);
    QTest::keyClick(field, Qt::Key_Left);
    EXPECT_TRUE(field->hasFocus());
    EXPECT_EQ(field->cursorPosition(), 3);
}

TEST_F(ClipmoorTextFieldTest, CellMakesItsEditorOnFirstEditingAndKeepsIt) {
    ClipmoorTextField neverEdited;
    EXPECT_EQ(neverEdited.cell().textView(), nullptr);

    startEditing();
    ClipmoorTextView* editor = field->cell().textView();
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->editedField(), field);

    other->setFocus();
    startEditing();
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_EQ(field->cell().textView(), editor);
    EXPECT_EQ(delegate.lastTextView, editor);
}

TEST_F(ClipmoorTextFieldTest, PasteShortcutInsertsPlainCharactersBeforeAnnouncing) {
    NotificationRecorder pasted(kClipmoorTextViewDidPasteNotification, field);
    auto* richText = new QMimeData;
    richText->setHtml("<b>https://youtu.be/<i>abc</i></b>");
    QGuiApplication::clipboard()->setMimeData(richText);

    startEditing();
    QTest::keySequence(field, QKeySequence::Paste);
    EXPECT_EQ(field->text(), "https://youtu.be/abc");
    EXPECT_EQ(pasted.count, 1);
    EXPECT_FALSE(pasted.object.isValid());
    EXPECT_EQ(pasted.fieldTextWhenPosted, "https://youtu.be/abc");
}

TEST_F(ClipmoorTextFieldTest, ContextMenuPasteGoesThroughTheEditorToo) {
    NotificationRecorder pasted(kClipmoorTextViewDidPasteNotification, field);
    QGuiApplication::clipboard()->setText("https://youtu.be/fromMenu");
    startEditing();

    QContextMenuEvent request(QContextMenuEvent::Mouse, field->rect().center(),
                              field->mapToGlobal(field->rect().center()));
    QCoreApplication::sendEvent(field, &request);
    auto* menu = field->findChild<QMenu*>();
    ASSERT_NE(menu, nullptr);
    QAction* paste = nullptr;
    for (QAction* action : menu->actions())
        if (action->text().startsWith(QLineEdit::tr("&Paste"))) paste = action;
    ASSERT_NE(paste, nullptr);
    ASSERT_TRUE(paste->isEnabled());
    paste->trigger();
    menu->close();

    EXPECT_EQ(field->text(), "https://youtu.be/fromMenu");
    EXPECT_EQ(pasted.count, 1);
    EXPECT_EQ(pasted.fieldTextWhenPosted, "https://youtu.be/fromMenu");
}

TEST_F(ClipmoorTextFieldTest, ReadOnlyFieldTakesNoPasteAndAnnouncesNone) {
    NotificationRecorder pasted(kClipmoorTextViewDidPasteNotification, field);
    QGuiApplication::clipboard()->setText("https://youtu.be/abc");
    field->setReadOnly(true);
    startEditing();
    QTest::keySequence(field, QKeySequence::Paste);
    EXPECT_EQ(field->text(), "");
    EXPECT_EQ(pasted.count, 0);
}

}  // namespace
}  // namespace clipmoor
