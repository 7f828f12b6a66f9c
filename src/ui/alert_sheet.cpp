#include "ui/alert_sheet.h"

#include <QAbstractButton>
#include <QGridLayout>
#include <QList>
#include <QMessageBox>
#include <QPushButton>

namespace clipmoor {

namespace {
constexpr int kMinimumTextWidth = 380;
}  // namespace

QMessageBox* beginSheetModalForWindow(const AlertSheet& alert, QWidget* window,
                                      std::function<void(int buttonIndex)> completion) {
    QWidget* parent = window ? window->window() : nullptr;
    auto* box = new QMessageBox(parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(parent ? Qt::WindowModal : Qt::ApplicationModal);
    box->setIcon(QMessageBox::Warning);
    box->setText(alert.messageText);
    box->setInformativeText(alert.informativeText);
    // Left alone, the box wraps a sentence over five short lines; give the texts room.
    if (auto* grid = qobject_cast<QGridLayout*>(box->layout())) {
        grid->addItem(
            new QSpacerItem(kMinimumTextWidth, 0, QSizePolicy::Minimum, QSizePolicy::Fixed),
            grid->rowCount(), 0, 1, grid->columnCount());
    }

    QList<QAbstractButton*> buttons;
    for (const QString& title : alert.buttonTitles)
        buttons.append(box->addButton(
            title, buttons.isEmpty() ? QMessageBox::AcceptRole : QMessageBox::RejectRole));
    if (!buttons.isEmpty()) box->setDefaultButton(qobject_cast<QPushButton*>(buttons.first()));

    QObject::connect(box, &QMessageBox::finished, box,
                     [box, buttons, completion = std::move(completion)](int) {
                         if (completion)
                             completion(static_cast<int>(buttons.indexOf(box->clickedButton())));
                     });
    box->open();
    return box;
}

}  // namespace clipmoor
