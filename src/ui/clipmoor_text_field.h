#pragma once

#include <QClipboard>
#include <QLineEdit>
#include <QString>

#include <optional>

#include "ui/clipmoor_text_field_cell.h"

namespace clipmoor {

class ClipmoorTextField;
class ClipmoorTextView;

inline constexpr const char* kClipmoorTextFieldDidClearText = "ClipmoorTextFieldDidClearText";

// Offered every editing command of the field before the field handles it.
class ClipmoorTextFieldDelegate {
public:
    // `commandSelector` names the command ("insertNewline:", "insertTab:", "moveLeft:", ...).
    // Answer true when the command was handled; the field then does nothing more with it.
    virtual bool control(ClipmoorTextField* control, ClipmoorTextView* textView,
                         const QString& commandSelector) = 0;

protected:
    ~ClipmoorTextFieldDelegate() = default;
};

// The address field. A click while it is not being edited empties it and announces that with
// "ClipmoorTextFieldDidClearText"; a dragged link empties it and is dropped in (as a link or a
// copy, never a move) as the link's full address exactly as given; pastes go through the cell's
// editor, which announces them, and one by the context menu or the middle button into a field
// not being edited replaces the address it still holds.
class ClipmoorTextField : public QLineEdit {
    Q_OBJECT

public:
    explicit ClipmoorTextField(QWidget* parent = nullptr);
    ~ClipmoorTextField() override;

    // Not owned. The delegate must reset this (setDelegate(nullptr)) before it goes away.
    ClipmoorTextFieldDelegate* delegate() const { return delegate_; }
    void setDelegate(ClipmoorTextFieldDelegate* delegate) { delegate_ = delegate; }

    ClipmoorTextFieldCell& cell() { return cell_; }
    // The cell's editor for this field (created on first use).
    ClipmoorTextView* fieldEditor() { return cell_.fieldEditorForView(this); }

    // The command a key stands for, or none for keys that simply type or edit.
    static std::optional<QString> commandSelectorForKey(int key, Qt::KeyboardModifiers modifiers);

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    // A paste by the context menu or the middle button; see the definition.
    void pasteFromPointer(QClipboard::Mode mode, bool fieldWasIdle);
    // True when the delegate handled the command.
    bool offerCommandToDelegate(const QString& commandSelector);

    ClipmoorTextFieldCell cell_;
    ClipmoorTextFieldDelegate* delegate_ = nullptr;
};

}  // namespace clipmoor
