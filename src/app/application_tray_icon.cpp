#include "app/application_tray_icon.h"

#include <QMenu>
#include <QSystemTrayIcon>

#include "ui/named_image.h"

namespace clipmoor {

ApplicationTrayIcon::ApplicationTrayIcon(QObject* parent)
    : QObject(parent), menu_(std::make_unique<QMenu>()), icon_(new QSystemTrayIcon(this)) {
    menu_->setAccessibleName(QStringLiteral("Clipmoor"));
    QAction* show = menu_->addAction(QStringLiteral("Show Clipmoor"));
    show->setObjectName(QStringLiteral("showClipmoor"));
    menu_->addSeparator();
    QAction* quit = menu_->addAction(QStringLiteral("Quit"));
    quit->setObjectName(QStringLiteral("quit"));
    connect(show, &QAction::triggered, this, &ApplicationTrayIcon::showRequested);
    connect(quit, &QAction::triggered, this, &ApplicationTrayIcon::quitRequested);

    icon_->setIcon(namedImage(QStringLiteral("clipmoor")));
    icon_->setToolTip(QStringLiteral("Clipmoor"));
    icon_->setContextMenu(menu_.get());
    connect(icon_, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
                    emit showRequested();
            });
}

ApplicationTrayIcon::~ApplicationTrayIcon() {
    icon_->setContextMenu(nullptr);
}

void ApplicationTrayIcon::setVisible(bool visible) {
    icon_->setVisible(visible);
}

bool ApplicationTrayIcon::isVisible() const {
    return icon_->isVisible();
}

}  // namespace clipmoor
