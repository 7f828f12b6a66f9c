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
    bool control(ClipmoorTextField*, ClipmoorTextView*, const QString& command) override {
        offered.append(command);
        return handled.contains(command);
    }
    QStringList handled, offered;
};

// Drag data as another program's drag arrives: the bytes its source wrote, unparsed (QMimeData
// itself would keep them as parsed addresses).
class ForeignUriList : public QMimeData {
public:
    explicit ForeignUriList(QByteArray bytes) : bytes_(std::move(bytes)) {}
    QStringList formats() const override { return {"text/uri-list"}; }
    bool hasFormat(const QString& format) const override { return format == "text/uri-list"; }

protected:
    QVariant retrieveData(const QString& format, QMetaType) const override {
        return format == "text/uri-list" ? QVariant(bytes_) : QVariant();
    }

private:
    QByteArray bytes_;
};

class ClipmoorTextFieldTest : public testing::Test {
protected:
    void SetUp() override {
        auto* layout = new QVBoxLayout(&window);
        layout->addWidget(field = new ClipmoorTextField);
        layout->addWidget(other = new QLineEdit);
        field->setDelegate(&delegate);
        for (auto [name, texts] : {std::pair{kClipmoorTextFieldDidClearText, &cleared},
                                   std::pair{kClipmoorTextViewDidPasteNotification, &pasted}})
            observers.push_back(NotificationCenter::defaultCenter().addObserver(
                name, [this, texts](const Notification&) { texts->append(field->text()); }));
        window.show();
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
        other->setFocus();
    }
    void startEditing() { field->setFocus(Qt::TabFocusReason); }
    // Drags `data` onto the field and drops it; the action both took (IgnoreAction: refused).
    Qt::DropAction dragAndDrop(QMimeData* data, Qt::DropActions offered) {
        QDragEnterEvent enter(field->rect().center(), offered, data, Qt::LeftButton, {});
        QCoreApplication::sendEvent(field, &enter);
        QDropEvent drop(QPointF(field->rect().center()), offered, data, Qt::LeftButton, {});
        QCoreApplication::sendEvent(field, &drop);
        EXPECT_EQ(enter.isAccepted(), drop.isAccepted());
        if (!enter.isAccepted()) return Qt::IgnoreAction;
        EXPECT_EQ(enter.dropAction(), drop.dropAction());
        return drop.dropAction();
    }
    // Opens the field's context menu and chooses Paste in it.
    void pasteFromContextMenu() {
        QContextMenuEvent request(QContextMenuEvent::Mouse, field->rect().center(),
                                  field->mapToGlobal(field->rect().center()));
        QCoreApplication::sendEvent(field, &request);
        auto* menu = field->findChild<QMenu*>();
        ASSERT_NE(menu, nullptr);
        for (QAction* action : menu->actions())
            if (action->text().startsWith(QLineEdit::tr("&Paste"))) action->trigger();
        menu->close();
        delete menu;
    }

    QWidget window;
    ClipmoorTextField* field = nullptr;
    QLineEdit* other = nullptr;
    RecordingDelegate delegate;
    // The field's text at each post of its two notifications.
    QStringList cleared, pasted;
    std::vector<ObserverToken> observers;
};

TEST_F(ClipmoorTextFieldTest, ClickIntoIdleFieldEmptiesItAnnouncesOnceAndStartsEditing) {
    field->setText("https://www.youtube.com/watch?v=old");
    QTest::mouseClick(field, Qt::LeftButton);
    EXPECT_EQ(field->text(), "");
    EXPECT_EQ(cleared, QStringList({""}));
    QTest::keyClicks(field, "typed");
    EXPECT_EQ(field->text(), "typed");

    // While editing, a click goes to the editing; an idle empty field still announces.
    QTest::mouseClick(field, Qt::LeftButton);
    EXPECT_EQ(field->text(), "typed");
    other->setFocus();
    field->clear();
    QTest::mouseClick(field, Qt::LeftButton);
    EXPECT_EQ(cleared.size(), 2);
}

TEST_F(ClipmoorTextFieldTest, ADragEmptiesTheFieldAndALinkIsDroppedInAsGivenNeverAsAMove) {
    QMimeData words;
    words.setText("just words");
    const QString address = "https://www.youtube.com/watch?v=abc&t=1m2s#at%20start";
    QMimeData link;
    link.setUrls({QUrl::fromEncoded(address.toLatin1())});
    link.setText("a title sent along");
    // As a browser sends it: the host in capitals must reach recognition unchanged.
    const QString asGiven = "https://WWW.YouTube.com/watch?v=abc&t=1m2s#at%20start";
    ForeignUriList foreign("# a comment line\r\n" + asGiven.toLatin1() + "\r\n");
    const auto all = Qt::LinkAction | Qt::CopyAction | Qt::MoveAction;
    const struct {
        const char* name;
        QMimeData* data;
        Qt::DropActions offered;
        Qt::DropAction taken;  // IgnoreAction: refused
        QString text;
    } cases[] = {
        {"words", &words, all, Qt::IgnoreAction, ""},
        {"a link with a title", &link, all, Qt::LinkAction, address},
        {"another program's link", &foreign, all, Qt::LinkAction, asGiven},
        {"a link offered as a copy or a move", &foreign, Qt::CopyAction | Qt::MoveAction,
         Qt::CopyAction, asGiven},
        {"a link offered only as a move", &foreign, Qt::MoveAction, Qt::IgnoreAction, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        field->setText("before");
        EXPECT_EQ(dragAndDrop(c.data, c.offered), c.taken);
        EXPECT_EQ(field->text().toStdString(), c.text.toStdString());
        EXPECT_TRUE(field->hasFocus());
    }
    // Nothing is started: no announcement, no command.
    EXPECT_TRUE(cleared.isEmpty() && pasted.isEmpty());
    EXPECT_TRUE(delegate.offered.isEmpty());
}

TEST_F(ClipmoorTextFieldTest, PastesInsertPlainCharactersBeforeAnnouncingAndReplaceAnIdleAddress) {
    auto* richText = new QMimeData;
    richText->setHtml("<b>https://youtu.be/<i>abc</i></b>");
    QGuiApplication::clipboard()->setMimeData(richText);
    startEditing();
    QTest::keySequence(field, QKeySequence::Paste);
    EXPECT_EQ(field->text().toStdString(), "https://youtu.be/abc");

    // The context menu's Paste on the field as the last lookup left it replaces the address...
    other->setFocus();
    QGuiApplication::clipboard()->setText("https://youtu.be/new");
    pasteFromContextMenu();
    EXPECT_EQ(field->text().toStdString(), "https://youtu.be/new");
    // ...and goes in at the cursor of an address being typed.
    startEditing();
    field->setText("https://youtu.be/");
    QGuiApplication::clipboard()->setText("abc");
    pasteFromContextMenu();
    EXPECT_EQ(field->text().toStdString(), "https://youtu.be/abc");
    // Each paste is announced once, with its characters already in.
    EXPECT_EQ(pasted, QStringList({"https://youtu.be/abc", "https://youtu.be/new",
                                   "https://youtu.be/abc"}));
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
}

}  // namespace
}  // namespace clipmoor
