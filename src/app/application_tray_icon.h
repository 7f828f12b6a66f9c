#pragma once

#include <QObject>
#include <QPointer>

#include <memory>

class QMenu;
class QSystemTrayIcon;

namespace clipmoor {

// The icon in the desktop's system tray that keeps a running Clipmoor reachable while its
// main window is closed. Activating it, or its "Show Clipmoor" item, asks for the window; its
// "Quit" item asks to quit.
class ApplicationTrayIcon : public QObject {
    Q_OBJECT

public:
    explicit ApplicationTrayIcon(QObject* parent = nullptr);
    ~ApplicationTrayIcon() override;

    void setVisible(bool visible);
    bool isVisible() const;
    QMenu* menu() const { return menu_.get(); }

signals:
    void showRequested();
    void quitRequested();

private:
    std::unique_ptr<QMenu> menu_;
    QSystemTrayIcon* icon_;
};

}  // namespace clipmoor
