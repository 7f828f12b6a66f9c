#include "app/application_menu.h"

#include <QAction>
#include <QMainWindow>
#include <QMenuBar>

#include "app/app_delegate.h"

namespace clipmoor {

namespace {
QAction* addItem(QMenu* menu, const QString& title, const char* name, const QKeySequence& keys) {
    QAction* item = menu->addAction(title);
    item->setObjectName(QString::fromLatin1(name));
    if (!keys.isEmpty()) item->setShortcut(keys);
    return item;
}
}  // namespace

void installApplicationMenu(QMainWindow& window, AppDelegate& delegate) {
    QMenuBar* bar = window.menuBar();
    bar->clear();
    AppDelegate* target = &delegate;

    QMenu* file = bar->addMenu(QObject::tr("&File"));
    QAction* preferences = addItem(file, QObject::tr("&Preferences…"), "openPreferences",
                                   QKeySequence(Qt::CTRL | Qt::Key_Comma));
    preferences->setMenuRole(QAction::PreferencesRole);
    QObject::connect(preferences, &QAction::triggered, target,
                     [target] { target->openPreferences(target); });
    QAction* extension =
        addItem(file, QObject::tr("Install &Browser Extension…"), "installSafariExtension", {});
    QObject::connect(extension, &QAction::triggered, target,
                     [target] { target->installSafariExtension(target); });
    QAction* clear = addItem(file, QObject::tr("&Clear Download List…"), "clearList", {});
    QObject::connect(clear, &QAction::triggered, target, [target] { target->clearList(target); });
    file->addSeparator();
    QAction* quit =
        addItem(file, QObject::tr("&Quit"), "terminate", QKeySequence(Qt::CTRL | Qt::Key_Q));
    quit->setMenuRole(QAction::QuitRole);
    // Queued: the menu closes before a quit question may open.
    QObject::connect(
        quit, &QAction::triggered, target, [target] { target->terminate(target); },
        Qt::QueuedConnection);

    QMenu* help = bar->addMenu(QObject::tr("&Help"));
    QAction* feedback = addItem(help, QObject::tr("Send &Feedback…"), "showFeedbackDialog", {});
    QObject::connect(feedback, &QAction::triggered, target,
                     [target] { target->showFeedbackDialog(target); });
}

}  // namespace clipmoor
