#pragma once

#include <QClipboard>
#include <QLineEdit>
#include <QPointer>
#include <QString>

class QMimeData;

namespace clipmoor {

inline constexpr const char* kClipmoorTextViewDidPasteNotification =
    "ClipmoorTextViewDidPasteNotification";

// The address field's editor: the one place where text from the clipboard enters the field.
// Every paste path of the field (the Paste shortcut, the context menu, a middle-click selection
// paste) goes through paste(), which inserts plain text only and then announces the paste, so
// the address is processed without a Return.
class ClipmoorTextView {
public:
    explicit ClipmoorTextView(QLineEdit* editedField);

    QLineEdit* editedField() const { return editedField_; }
    void setEditedField(QLineEdit* field) { editedField_ = field; }

    // Inserts the clipboard's plain text, then posts "ClipmoorTextViewDidPasteNotification"
    // with no object. A read-only or vanished field takes nothing and announces nothing.
    void paste(QClipboard::Mode mode = QClipboard::Clipboard);
    // Inserts the clipboard's text without its formatting; false when nothing could be pasted
    // into the field.
    bool pasteAsPlainText(QClipboard::Mode mode = QClipboard::Clipboard);

    // The characters of `data`: its plain text, or the text of its HTML when it carries only
    // rich text.
    static QString plainText(const QMimeData* data);

private:
    QPointer<QLineEdit> editedField_;
};

}  // namespace clipmoor
