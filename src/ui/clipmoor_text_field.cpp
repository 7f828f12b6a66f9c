#include "ui/clipmoor_text_field.h"

#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>

#include "platform/notification_center.h"
#include "ui/clipmoor_text_view.h"

namespace clipmoor {

namespace {
// A dragged address is taken as a link where the source offers that, else as a copy; never as a
// move, which would let the source delete what was dragged. Anything that carries no address,
// or can only be moved, is refused.
bool acceptIfItCarriesLinks(QDropEvent* event) {
    const Qt::DropActions possible = event->possibleActions();
    if (!event->mimeData()->hasUrls() || !(possible & (Qt::LinkAction | Qt::CopyAction))) {
        event->ignore();
        return false;
    }
    event->setDropAction(possible & Qt::LinkAction ? Qt::LinkAction : Qt::CopyAction);
    event->accept();
    return true;
}

// The first address of a drop exactly as the source wrote it: parsing it would lower-case the
// host and re-encode the rest, and the address must be judged like a typed one.
QString firstAddressAsGiven(const QMimeData* data) {
    const QByteArray list = data->data(QStringLiteral("text/uri-list"));
    for (const QByteArray& line : list.split('\n')) {
        const QByteArray address = line.trimmed();
        if (!address.isEmpty() && !address.startsWith('#')) return QString::fromUtf8(address);
    }
    const QList<QUrl> urls = data->urls();
    return urls.isEmpty() ? QString() : QString::fromUtf8(urls.first().toEncoded());
}
}  // namespace

ClipmoorTextField::ClipmoorTextField(QWidget* parent) : QLineEdit(parent) {
    // A click must reach mousePressEvent before the field has the focus, so that it can tell
    // a click into an idle field (which empties it) from a click while editing. The field
    // therefore takes the focus itself on that click instead of letting the click give it.
    setFocusPolicy(Qt::TabFocus);
    setAcceptDrops(true);
}

ClipmoorTextField::~ClipmoorTextField() = default;

std::optional<QString> ClipmoorTextField::commandSelectorForKey(int key,
                                                                Qt::KeyboardModifiers modifiers) {
    const Qt::KeyboardModifiers relevant =
        modifiers & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    if (key == Qt::Key_Backtab) return QStringLiteral("insertBacktab:");
    if (relevant == Qt::NoModifier) {
        switch (key) {
            case Qt::Key_Return:
            case Qt::Key_Enter:
                return QStringLiteral("insertNewline:");
            case Qt::Key_Tab:
                return QStringLiteral("insertTab:");
            case Qt::Key_Escape:
                return QStringLiteral("cancelOperation:");
            case Qt::Key_Left:
                return QStringLiteral("moveLeft:");
            case Qt::Key_Right:
                return QStringLiteral("moveRight:");
            case Qt::Key_Up:
                return QStringLiteral("moveUp:");
            case Qt::Key_Down:
                return QStringLiteral("moveDown:");
            default:
                break;
        }
    } else if (relevant == Qt::ShiftModifier) {
        switch (key) {
            case Qt::Key_Tab:
                return QStringLiteral("insertBacktab:");
            case Qt::Key_Left:
                return QStringLiteral("moveLeftAndModifySelection:");
            case Qt::Key_Right:
                return QStringLiteral("moveRightAndModifySelection:");
            default:
                break;
        }
    }
    return std::nullopt;
}

bool ClipmoorTextField::offerCommandToDelegate(const QString& commandSelector) {
    if (!delegate_) return false;
    return delegate_->control(this, fieldEditor(), commandSelector);
}

bool ClipmoorTextField::event(QEvent* event) {
    // Tab and Backtab never reach keyPressEvent: the widget base turns them into focus
    // changes. Offer them to the delegate first.
    if (event->type() == QEvent::KeyPress) {
        auto* keyEvent = static_cast<QKeyEvent*>(event);
        if (keyEvent->key() == Qt::Key_Tab || keyEvent->key() == Qt::Key_Backtab) {
            const auto command = commandSelectorForKey(keyEvent->key(), keyEvent->modifiers());
            if (command && offerCommandToDelegate(*command)) {
                event->accept();
                return true;
            }
        }
    }
    return QLineEdit::event(event);
}

void ClipmoorTextField::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Paste)) {
        fieldEditor()->paste(QClipboard::Clipboard);
        event->accept();
        return;
    }
    const auto command = commandSelectorForKey(event->key(), event->modifiers());
    if (command && offerCommandToDelegate(*command)) {
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

void ClipmoorTextField::focusInEvent(QFocusEvent* event) {
    cell_.fieldEditorForView(this);  // editing begins: the cell's editor takes over
    QLineEdit::focusInEvent(event);
}

void ClipmoorTextField::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && !hasFocus()) {
        clear();
        NotificationCenter::defaultCenter().post(
            QString::fromLatin1(kClipmoorTextFieldDidClearText),
            QVariant::fromValue<QObject*>(this));
        setFocus(Qt::MouseFocusReason);
        event->accept();
        return;
    }
    QLineEdit::mousePressEvent(event);
}

void ClipmoorTextField::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::MiddleButton && !isReadOnly() &&
        QGuiApplication::clipboard()->supportsSelection()) {
        pasteFromPointer(QClipboard::Selection, !hasFocus());
        event->accept();
        return;
    }
    QLineEdit::mouseReleaseEvent(event);
}

void ClipmoorTextField::pasteFromPointer(QClipboard::Mode mode, bool fieldWasIdle) {
    // A field that is not being edited still holds the previous address: the pasted one takes
    // its place instead of being spliced into it. While editing, it goes in at the cursor.
    if (fieldWasIdle)
        selectAll();
    else
        deselect();
    fieldEditor()->paste(mode);
}

void ClipmoorTextField::contextMenuEvent(QContextMenuEvent* event) {
    QMenu* menu = createStandardContextMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    const bool fieldWasIdle = !hasFocus();  // the open menu takes the focus
    // The standard Paste entry would insert the clipboard behind the editor's back: the entry
    // that is wired to the base class's paste is rewired to the editor.
    // (Depending on the toolkit's version, the entry is wired by name or by function.)
    for (QAction* action : menu->actions()) {
        const bool byName = disconnect(action, nullptr, this, SLOT(paste()));
        const bool byFunction = disconnect(action, &QAction::triggered, this, &QLineEdit::paste);
        if (!byName && !byFunction) continue;
        action->setEnabled(
            !isReadOnly() &&
            !ClipmoorTextView::plainText(QGuiApplication::clipboard()->mimeData()).isEmpty());
        connect(action, &QAction::triggered, this,
                [this, fieldWasIdle] { pasteFromPointer(QClipboard::Clipboard, fieldWasIdle); });
    }
    menu->popup(event->globalPos());
    event->accept();
}

void ClipmoorTextField::dragEnterEvent(QDragEnterEvent* event) {
    // Every drag that enters readies the field for a new address, even one it then refuses.
    setFocus(Qt::OtherFocusReason);
    clear();
    acceptIfItCarriesLinks(event);
}

void ClipmoorTextField::dragMoveEvent(QDragMoveEvent* event) {
    // The whole field is one target: keep the answer given on entry.
    acceptIfItCarriesLinks(event);
}

void ClipmoorTextField::dragLeaveEvent(QDragLeaveEvent* event) {
    event->accept();
}

void ClipmoorTextField::dropEvent(QDropEvent* event) {
    // Only fills the field: the user confirms the address with Return.
    if (acceptIfItCarriesLinks(event)) setText(firstAddressAsGiven(event->mimeData()));
}

}  // namespace clipmoor
