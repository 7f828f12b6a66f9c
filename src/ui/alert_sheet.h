#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class QMessageBox;
class QWidget;

namespace clipmoor {

// A warning shown as a sheet on a window: window-modal, so the rest of the application keeps
// running, and never waited for.
struct AlertSheet {
    QString messageText;
    QString informativeText;
    QStringList buttonTitles{QStringLiteral("OK")};
};

// Opens `alert` on `window` and returns at once. When the sheet closes, `completion` (if any)
// receives the index of the chosen button in `buttonTitles`, or -1 when none was chosen. The
// sheet deletes itself when it closes, and goes away with its window.
QMessageBox* beginSheetModalForWindow(const AlertSheet& alert, QWidget* window,
                                      std::function<void(int buttonIndex)> completion = {});

}  // namespace clipmoor
