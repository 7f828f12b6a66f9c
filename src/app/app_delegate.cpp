#include "app/app_delegate.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QMainWindow>
#include <QMenuBar>
#include <QStandardPaths>

#include "app/vendor_services.h"
#include "download/clipmoor_model.h"
#include "main_window/main_view_controller.h"
#include "platform/notification_center.h"
#include "platform/user_defaults.h"
#include "store/core_data_controller.h"
#include "ui/error_alert.h"

namespace clipmoor {

AppDelegate::AppDelegate(VendorServices& vendorServices, QObject* parent)
    : QObject(parent), vendorServices_(vendorServices) {
    connect(&instanceChannel_, &InstanceChannel::messageReceived, this,
            [this](const QString& message) {
                // A later start with an address counts as a URL event; without one it only
                // asks for the window.
                bringMainWindowForward();
                if (!message.isEmpty()) handleURLEvent(message);
            });
}

AppDelegate::~AppDelegate() = default;

CoreDataController* AppDelegate::coreDataController() {
    if (!coreDataController_) {
        auto controller = std::make_unique<CoreDataController>(&loadClipmoorModel);
        controller->setErrorPresenter(
            [this](const Error& error) { presentError(error, mainWindow_.data()); });
        coreDataController_ = std::move(controller);
    }
    return coreDataController_.get();
}

void AppDelegate::setCoreDataController(std::unique_ptr<CoreDataController> controller) {
    coreDataController_ = std::move(controller);
}

void AppDelegate::setMainWindow(QMainWindow* window) {
    mainWindow_ = window;
    installMenus();
}

bool AppDelegate::applicationDidFinishLaunching() {
    prepareUserDefaults();
    const InstanceChannel::ListenResult intake = instanceChannel_.listen();
    if (intake == InstanceChannel::ListenResult::AnotherInstanceAnswers) return false;
    // When the socket cannot be made at all, this instance still works; later starts then
    // simply open windows of their own.
    vendorServices_.sendTrackingReport();
    vendorServices_.setupIssuesController(true);
    return true;
}

QString AppDelegate::defaultMediaDownloadPath() {
    QString downloads = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
    if (downloads.isEmpty()) downloads = QDir::homePath() + QStringLiteral("/Downloads");
    return QDir::cleanPath(downloads + QStringLiteral("/Clipmoor"));
}

void AppDelegate::prepareUserDefaults() {
    UserDefaults& defaults = UserDefaults::standard();
    const QString key = QString::fromLatin1(kClipmoorMediaDownloadPathKey);
    if (defaults.hasValueForKey(key)) return;  // an empty string is a value too
    defaults.setValue(defaultMediaDownloadPath(), key);
    if (!defaults.synchronize())
        qWarning("Clipmoor: could not write %s", qPrintable(defaults.filePath()));
}

void AppDelegate::handleURLEvent(const std::optional<QString>& directObject) {
    const QString name =
        QString::fromLatin1(kClipmoorDidRecieveURLFromBrowserExtensionNotification);
    if (!directObject) {
        NotificationCenter::defaultCenter().post(name);
        return;
    }
    QString address = *directObject;
    address.remove(QString::fromLatin1(kClipmoorURLSchemePrefix));
    NotificationCenter::defaultCenter().post(name, address);
}

void AppDelegate::showFeedbackDialog(QObject*) {
    vendorServices_.showFeedbackDialog(0);
}

void AppDelegate::bringMainWindowForward() {
    if (!mainWindow_) return;
    if (mainWindow_->isMinimized()) mainWindow_->showNormal();
    mainWindow_->show();
    mainWindow_->raise();
    mainWindow_->activateWindow();
}

void AppDelegate::installMenus() {
    if (!mainWindow_) return;
    QMenuBar* bar = mainWindow_->menuBar();
    bar->clear();

    QMenu* file = bar->addMenu(tr("&File"));
    QAction* quit = file->addAction(tr("&Quit"));
    quit->setShortcut(QKeySequence::Quit);
    quit->setMenuRole(QAction::QuitRole);
    connect(quit, &QAction::triggered, qApp, &QCoreApplication::quit, Qt::QueuedConnection);

    QMenu* help = bar->addMenu(tr("&Help"));
    QAction* feedback = help->addAction(tr("Send &Feedback…"));
    connect(feedback, &QAction::triggered, this, [this] { showFeedbackDialog(this); });
}

}  // namespace clipmoor
