#include <QApplication>
#include <QClipboard>
#include <QDragEnterEvent>
#include <QMenu>
#include <QMimeData>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include "platform/notification_center.h"
#include "ui/clipmoor_text_field.h"
#include "ui/clipmoor_text_view.h"

namespace clipmoor {
namespace {

// Takes the commands it is told to take, and remembers every command offered.
struct RecordingDelegate : ClipmoorTextFieldDelegate {
    bool control(ClipmoorTextField*, ClipmoorTextView* textView, const QString& command) override {
        offered.append(command);
        lastTextView = textView;
        return handled.contains(command);
    }
    QStringList handled, offered;
    ClipmoorTextView* lastTextView = nullptr;
};

// Counts the posts of one notification, with the field's text at the moment of posting.
struct Recorder {
    Recorder(const char* name, const QLineEdit* field)
        : token(NotificationCenter::defaultCenter().addObserver(
              name, [this, field](const Notification& notification) {
                  ++count;
                  object = notification.object;
                  textWhenPosted = field->text();
              })) {}
    int count = 0;
    QVariant object;
    QString textWhenPosted;
    ObserverToken token;
};

class ClipmoorTextFieldTest : public testing::Test {
protected:
    void SetUp() override {
        auto* layout = new QVBoxLayout(&window);
        layout->addWidget(field = new ClipmoorTextField);
        layout->addWidget(other = new QLineEdit);
        field->setDelegate(&delegate);
        window.show();
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
        other->setFocus();
    }
    void TearDown() override { QGuiApplication::clipboard()->clear(); }
    void startEditing() { field->setFocus(Qt::TabFocusReason); }
    void sendDrag(QMimeData* data, bool drop) {
        QDragEnterEvent enter(field->rect().center(), Qt::CopyAction | Qt::LinkAction, data,
                              Qt::LeftButton, {});
        QCoreApplication::sendEvent(field, &enter);
        enterAccepted = enter.isAccepted();
        enterAction = enter.dropAction();
        if (!drop) return;
        QDropEvent dropEvent(QPointF(field->rect().center()), Qt::LinkAction, data, Qt::LeftButton,
                             {});
        QCoreApplication::sendEvent(field, &dropEvent);
    }

    QWidget window;
    ClipmoorTextField* field = nullptr;
    QLineEdit* other = nullptr;
    RecordingDelegate delegate;
    bool enterAccepted = false;
    Qt::DropAction enterAction = Qt::IgnoreAction;
};

TEST_F(ClipmoorTextFieldTest, ClickIntoIdleFieldEmptiesItAnnouncesOnceAndStartsEditing) {
    Recorder cleared(kClipmoorTextFieldDidClearText, field);
    field->setText("https://www.youtube.com/watch?v=old");
    QTest::mouseClick(field, Qt::LeftButton);
    EXPECT_EQ(field->text(), "");
    EXPECT_EQ(cleared.count, 1);
    EXPECT_EQ(cleared.object.value<QObject*>(), field);
    QTest::keyClicks(field, "typed");
    EXPECT_EQ(field->text(), "typed");

    // While editing, a click goes to the editing; an idle empty field still announces.
    QTest::mouseClick(field, Qt::LeftButton);
    EXPECT_EQ(field->text(), "typed");
    other->setFocus();
    field->clear();
    QTest::mouseClick(field, Qt::LeftButton);
    EXPECT_EQ(cleared.count, 2);
}

TEST_F(ClipmoorTextFieldTest, DragEmptiesTheFieldAndOnlyALinkIsDroppedInWithoutStartingAnything) {
    Recorder cleared(kClipmoorTextFieldDidClearText, field);
    Recorder pasted(kClipmoorTextViewDidPasteNotification, field);
    QMimeData words;
    words.setText("just words");
    field->setText("before");
    sendDrag(&words, false);
    EXPECT_FALSE(enterAccepted);
    EXPECT_EQ(field->text(), "");
    EXPECT_TRUE(field->hasFocus());

    const QString address = "https://www.youtube.com/watch?v=abc&t=1m2s#at%20start";
    QMimeData link;
    link.setUrls({QUrl::fromEncoded(address.toLatin1())});
    link.setText("a title sent along");
    field->setText("before");
    sendDrag(&link, true);
    EXPECT_TRUE(enterAccepted);
    EXPECT_EQ(enterAction, Qt::LinkAction);
    EXPECT_EQ(field->text(), address);
    EXPECT_EQ(cleared.count + pasted.count, 0);
    EXPECT_TRUE(delegate.offered.isEmpty());
}

TEST_F(ClipmoorTextFieldTest, CommandsGoToTheDelegateFirstAndToTheFieldWhenDeclined) {
    startEditing();
    QSignalSpy returnPressed(field, &QLineEdit::returnPressed);
    field->setText("abc");

    delegate.handled = {"insertNewline:", "insertTab:"};
    QTest::keyClick(field, Qt::Key_Return);
    QTest::keyClick(field, Qt::Key_Enter, Qt::KeypadModifier);
    QTest::keyClick(field, Qt::Key_Tab);
    EXPECT_EQ(returnPressed.count(), 0);
    EXPECT_TRUE(field->hasFocus());

    delegate.handled.clear();
    QTest::keyClick(field, Qt::Key_Left);
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_EQ(field->cursorPosition(), 2);
    EXPECT_EQ(returnPressed.count(), 1);
    QTest::keyClick(field, Qt::Key_Tab);
    EXPECT_TRUE(other->hasFocus());
    EXPECT_EQ(delegate.offered, QStringList({"insertNewline:", "insertNewline:", "insertTab:",
                                             "moveLeft:", "insertNewline:", "insertTab:"}));
    // Every command came with the cell's one editor, made when the editing began.
    EXPECT_NE(delegate.lastTextView, nullptr);
    EXPECT_EQ(delegate.lastTextView, field->cell().textView());
}

TEST_F(ClipmoorTextFieldTest, PasteShortcutInsertsThePlainCharactersBeforeAnnouncing) {
    Recorder pasted(kClipmoorTextViewDidPasteNotification, field);
    auto* richText = new QMimeData;
    richText->setHtml("<b>https://youtu.be/<i>abc</i></b>");
    QGuiApplication::clipboard()->setMimeData(richText);
    startEditing();
    QTest::keySequence(field, QKeySequence::Paste);
    EXPECT_EQ(field->text(), "https://youtu.be/abc");
    EXPECT_EQ(pasted.count, 1);
    EXPECT_FALSE(pasted.object.isValid());
    EXPECT_EQ(pasted.textWhenPosted, "https://youtu.be/abc");
}

TEST_F(ClipmoorTextFieldTest, ContextMenuPasteGoesThroughTheEditorToo) {
    Recorder pasted(kClipmoorTextViewDidPasteNotification, field);
    QGuiApplication::clipboard()->setText("https://youtu.be/fromMenu");
    startEditing();
    QContextMenuEvent request(QContextMenuEvent::Mouse, field->rect().center(),
                              field->mapToGlobal(field->rect().center()));
    QCoreApplication::sendEvent(field, &request);
    auto* menu = field->findChild<QMenu*>();
    ASSERT_NE(menu, nullptr);
    for (QAction* action : menu->actions())
        if (action->text().startsWith(QLineEdit::tr("&Paste"))) action->trigger();
    menu->close();
    EXPECT_EQ(pasted.count, 1);
    EXPECT_EQ(pasted.textWhenPosted, "https://youtu.be/fromMenu");
}

}  // namespace
}  // namespace clipmoor
