#include "ui/clipmoor_text_view.h"

#include <QGuiApplication>
#include <QLineEdit>
#include <QMimeData>
#include <QTextDocumentFragment>

#include "platform/notification_center.h"

namespace clipmoor {

ClipmoorTextView::ClipmoorTextView(QLineEdit* editedField) : editedField_(editedField) {}

QString ClipmoorTextView::plainText(const QMimeData* data) {
    if (!data) return {};
    if (data->hasText()) return data->text();
    if (data->hasHtml()) return QTextDocumentFragment::fromHtml(data->html()).toPlainText();
    return {};
}

bool ClipmoorTextView::pasteAsPlainText(QClipboard::Mode mode) {
    if (!editedField_ || editedField_->isReadOnly()) return false;
    const QClipboard* clipboard = QGuiApplication::clipboard();
    if (mode == QClipboard::Selection && !clipboard->supportsSelection()) return false;
    const QString text = plainText(clipboard->mimeData(mode));
    if (!text.isEmpty() || editedField_->hasSelectedText()) editedField_->insert(text);
    return true;
}

void ClipmoorTextView::paste(QClipboard::Mode mode) {
    if (!pasteAsPlainText(mode)) return;
    NotificationCenter::defaultCenter().post(
        QString::fromLatin1(kClipmoorTextViewDidPasteNotification));
}

}  // namespace clipmoor
