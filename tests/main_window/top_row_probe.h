#pragma once

#include <QComboBox>
#include <QList>
#include <QMessageBox>
#include <QPushButton>
#include <QStringList>

#include <ostream>

#include "main_window/main_view_controller.h"

namespace clipmoor::test {

// What the user sees of the top row, in one value that tests compare as a whole.
struct TopRow {
    bool fieldEnabled = true;
    bool indicatorShown = false;  // visible and turning
    bool popupEnabled = false;
    bool startEnabled = false;
    QStringList popupItems;
    int popupSelection = -1;

    static TopRow of(const MainViewController& controller) {
        TopRow row;
        row.fieldEnabled = controller.urlTextField()->isEnabled();
        const auto* indicator = controller.urlparserProgressIndicator();
        row.indicatorShown = !indicator->isHidden() && indicator->isAnimating();
        row.popupEnabled = controller.formatPopupButton()->isEnabled();
        row.startEnabled = controller.downloadStartButton()->isEnabled();
        for (int i = 0; i < controller.formatPopupButton()->count(); ++i)
            row.popupItems.append(controller.formatPopupButton()->itemText(i));
        row.popupSelection = controller.formatPopupButton()->currentIndex();
        return row;
    }

    static TopRow idle(QStringList leftOverItems = {}) {
        TopRow row;
        row.popupSelection = leftOverItems.isEmpty() ? -1 : 0;
        row.popupItems = std::move(leftOverItems);
        return row;
    }
    static TopRow lookingUp(QStringList leftOverItems = {}) {
        TopRow row = idle(std::move(leftOverItems));
        row.fieldEnabled = false;
        row.indicatorShown = true;
        return row;
    }
    static TopRow formatsOffered() {
        TopRow row;
        row.popupEnabled = true;
        row.startEnabled = true;
        row.popupItems = QStringList{"mp4 720p", "mp4 360p", "mp4 240p", "mp4 Audio"};
        row.popupSelection = 0;
        return row;
    }

    bool operator==(const TopRow&) const = default;
};

inline void PrintTo(const TopRow& row, std::ostream* out) {
    *out << "{field " << (row.fieldEnabled ? "enabled" : "disabled") << ", indicator "
         << (row.indicatorShown ? "shown" : "hidden") << ", pop-up "
         << (row.popupEnabled ? "enabled" : "disabled") << " ["
         << qPrintable(row.popupItems.join(", ")) << "] selection " << row.popupSelection
         << ", start " << (row.startEnabled ? "enabled" : "disabled") << "}";
}

// The sheets open on `window`, oldest first.
inline QList<QMessageBox*> openSheets(const QWidget* window) {
    QList<QMessageBox*> open;
    for (QMessageBox* box : window->findChildren<QMessageBox*>())
        if (box->isVisible()) open.append(box);
    return open;
}

}  // namespace clipmoor::test
