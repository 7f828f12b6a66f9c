#include "ui/error_alert.h"

#include <QMessageBox>

#include "platform/error.h"

namespace clipmoor {

QMessageBox* presentError(const Error& error, QWidget* parent) {
    auto* alert = new QMessageBox(QMessageBox::Critical, QStringLiteral("Clipmoor"),
                                  error.localizedDescription(), QMessageBox::Ok, parent);
    alert->setInformativeText(error.failureReason());
    // open() would make it window-modal; the whole application waits for this answer.
    alert->setWindowModality(Qt::ApplicationModal);
    alert->setAttribute(Qt::WA_DeleteOnClose);
    alert->show();
    return alert;
}

}  // namespace clipmoor
