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

// Opens `alert` on `window` and returns at once. A window shows one sheet at a time: while one
// is open, further sheets wait in order and open one after the other, and one identical (same
// texts and buttons) to a sheet already waiting is not added again. When the sheet closes,
// `completion` (if any) receives the index of the chosen button in `buttonTitles`, or -1 when
// none was chosen; for a sheet that was not added again, it receives the answer given to the
// identical one. The sheet deletes itself when it closes; it and those still waiting go away
// with the window. Returns the sheet when it opens at once, null when it waits.
QMessageBox* beginSheetModalForWindow(const AlertSheet& alert, QWidget* window,
                                      std::function<void(int buttonIndex)> completion = {});

}  // namespace clipmoor
