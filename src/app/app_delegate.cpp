#include "app/app_delegate.h"

#include <QApplication>
#include <QCloseEvent>
#include <QMainWindow>
#include <QMessageBox>
#include <QPushButton>
#include <QSystemTrayIcon>

#include <csignal>

#include "app/application_menu.h"
#include "app/application_tray_icon.h"
#include "app/browser_extension_installer.h"
#include "app/software_updater.h"
#include "app/termination_signals.h"
#include "app/vendor_services.h"
#include "download/clipmoor_model.h"
#include "main_window/main_view_controller.h"
#include "main_window/window_video_presenter.h"
#include "platform/notification_center.h"
#include "platform/user_defaults.h"
#include "platform/workspace.h"
#include "store/core_data_controller.h"
#include "ui/error_alert.h"
#include "ui/player/qmr_media_player.h"
#include "ui/player/qmr_media_player_vendor.h"
#include "ui/preferences/general_pane_view_controller.h"
#include "ui/preferences/update_pane_view_controller.h"
#include "ui/preferences/zk_preferences_controller.h"

namespace clipmoor {

AppDelegate::AppDelegate(VendorServices& vendorServices, QObject* parent)
    : QObject(parent),
      vendorServices_(vendorServices),
      quitter_([] { QCoreApplication::quit(); }),
      systemTrayAvailable_([] { return QSystemTrayIcon::isSystemTrayAvailable(); }) {
    connect(&instanceChannel_, &InstanceChannel::messageReceived, this,
            [this](const QString& message) {
                // A later start with an address counts as a URL event; without one it only
                // asks for the window.
                reopen();
                if (!message.isEmpty()) handleURLEvent(message);
            });
}

AppDelegate::~AppDelegate() {
    if (mainWindow_) mainWindow_->removeEventFilter(this);
}

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

void AppDelegate::setMediaPlayerVendor(std::unique_ptr<QMRMediaPlayerVendor> vendor) {
    mediaPlayerVendor_ = std::move(vendor);
}

void AppDelegate::connectRecordPresenter(WindowVideoPresenter* presenter) {
    if (!presenter) return;
    QPointer<AppDelegate> self(this);
    presenter->setPlayHook([self](const QUrl& fileURL, const QString& title) {
        if (!self || !self->mediaPlayerVendor()) return;
        self->mediaPlayerVendor()->mediaPlayerWithURL(fileURL, title)->showPlayer();
    });
    presenter->setFeedbackHook([self] {
        if (self) self->showFeedbackDialog(nullptr);
    });
}

void AppDelegate::setMainWindow(QMainWindow* window) {
    if (mainWindow_) mainWindow_->removeEventFilter(this);
    mainWindow_ = window;
    mainWindowObject_ = window;
    if (!mainWindow_) return;
    // Closing the main window is decided here (tray or quit), not by the last window closing.
    QGuiApplication::setQuitOnLastWindowClosed(false);
    mainWindow_->installEventFilter(this);
    installMenus();
}

bool AppDelegate::applicationDidFinishLaunching() {
    prepareUserDefaults();
    const InstanceChannel::ListenResult intake = instanceChannel_.listen();
    if (intake == InstanceChannel::ListenResult::AnotherInstanceAnswers) return false;
    // When the socket cannot be made at all, this instance still works; later starts then
    // simply open windows of their own.
    mediaPlayerVendor_ = std::make_unique<QMRMediaPlayerVendor>();
    // Downloads stop before the computer sleeps (no error when there is no system bus).
    Workspace::sharedWorkspace().startObservingSystemSleep();
    preparePreferencesController();
    vendorServices_.sendTrackingReport();
    vendorServices_.setupIssuesController(true);
    return true;
}

void AppDelegate::prepareUserDefaults() {
    UserDefaults& defaults = UserDefaults::standard();
    const QString key = QString::fromLatin1(kClipmoorMediaDownloadPathKey);
    if (defaults.hasValueForKey(key)) return;  // an empty string is a value too
    defaults.setValue(defaultMediaDownloadPath(), key);
    if (!defaults.synchronize())
        qWarning("Clipmoor: could not write %s", qPrintable(defaults.filePath()));
}

void AppDelegate::preparePreferencesController() {
    auto updatePane = std::make_shared<UpdatePaneViewController>(vendorServices_.sharedUpdater());
    auto generalPane = std::make_shared<GeneralPaneViewController>(UserDefaults::standard());
    ZKPreferencesController::sharedController()->setModules({generalPane, updatePane});
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

void AppDelegate::openPreferences(QObject* sender) {
    ZKPreferencesController::sharedController()->showWindow(sender);
}

void AppDelegate::installSafariExtension(QObject*) {
    BrowserExtensionInstaller::showExtension();
}

void AppDelegate::clearList(QObject*) {
    NotificationCenter::defaultCenter().post(
        QString::fromLatin1(kClipmoorDidRequestToClearDownloadListNotification),
        QVariant::fromValue<QObject*>(this));
}

void AppDelegate::showFeedbackDialog(QObject*) {
    vendorServices_.showFeedbackDialog(0);
}

void AppDelegate::terminate(QObject*) {
    if (applicationShouldTerminate() == TerminateNow) quitApplication();
}

AppDelegate::TerminateReply AppDelegate::applicationShouldTerminate() {
    // A second request while the user is still being asked waits for that answer.
    if (terminationPending_) return TerminateLater;
    ManagedObjectContext* context = coreDataController()->managedObjectContext();
    if (!context) return TerminateNow;
    if (!context->commitEditing()) {
        qWarning("%s:%s unable to commit editing to terminate", "AppDelegate",
                 "applicationShouldTerminate:");
        return TerminateCancel;
    }
    if (!context->hasChanges()) return TerminateNow;
    Error error;
    if (context->save(&error)) return TerminateNow;

    // The failure is shown first; the alert cannot repair anything, so once the user has read
    // it the question follows.
    terminationPending_ = true;
    QMessageBox* presented = presentError(error, mainWindow_.data());
    connect(presented, &QMessageBox::finished, this, &AppDelegate::askToQuitAnyway,
            Qt::QueuedConnection);
    return TerminateLater;
}

void AppDelegate::askToQuitAnyway() {
    auto* alert = new QMessageBox(mainWindow_.data());
    alert->setAttribute(Qt::WA_DeleteOnClose);
    alert->setWindowModality(Qt::ApplicationModal);
    alert->setIcon(QMessageBox::Warning);
    alert->setWindowTitle(QStringLiteral("Clipmoor"));
    alert->setText(tr(kQuitAnywayMessage));
    alert->setInformativeText(tr(kQuitAnywayInformation));
    QPushButton* quitAnyway = alert->addButton(tr(kQuitAnywayButton), QMessageBox::AcceptRole);
    QPushButton* cancel = alert->addButton(tr(kCancelButton), QMessageBox::RejectRole);
    alert->setDefaultButton(quitAnyway);
    alert->setEscapeButton(cancel);
    connect(alert, &QMessageBox::finished, this, [this, alert, quitAnyway] {
        replyToApplicationShouldTerminate(alert->clickedButton() == quitAnyway);
    });
    terminationAlert_ = alert;
    alert->show();
}

void AppDelegate::replyToApplicationShouldTerminate(bool shouldTerminate) {
    terminationPending_ = false;
    if (shouldTerminate) quitApplication();
}

void AppDelegate::quitApplication() {
    applicationWillTerminate();
    if (quitter_) quitter_();
}

bool AppDelegate::saveWithoutAsking() {
    ManagedObjectContext* context = coreDataController()->managedObjectContext();
    if (!context || !context->hasChanges()) return true;
    Error error;
    if (context->save(&error)) return true;
    qWarning("Error: %s", qPrintable(error.debugDescription()));
    return false;
}

void AppDelegate::installTerminationHandlers() {
    if (!terminationSignals_) {
        terminationSignals_ = std::make_unique<TerminationSignals>(
            std::initializer_list<int>{SIGTERM, SIGINT, SIGHUP});
        connect(terminationSignals_.get(), &TerminationSignals::signalReceived, this, [this] {
            saveWithoutAsking();
            quitApplication();
        });
    }
    // The session is ending (logout, shutdown): keep the list, ask nothing.
    if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        connect(app, &QGuiApplication::commitDataRequest, this, &AppDelegate::saveWithoutAsking,
                Qt::UniqueConnection);
}

bool AppDelegate::applicationShouldHandleReopen(bool hasVisibleWindows) {
    if (hasVisibleWindows) return true;
    bringMainWindowForward();
    return false;
}

void AppDelegate::reopen() {
    const bool visible = mainWindow_ && mainWindow_->isVisible() && !mainWindow_->isMinimized();
    // With the window already there, the request still brings it to the front.
    if (applicationShouldHandleReopen(visible)) bringMainWindowForward();
}

void AppDelegate::bringMainWindowForward() {
    if (!mainWindow_) return;
    if (mainWindow_->isMinimized()) mainWindow_->showNormal();
    mainWindow_->show();
    mainWindow_->raise();
    mainWindow_->activateWindow();
}

bool AppDelegate::eventFilter(QObject* watched, QEvent* event) {
    if (!watched || watched != mainWindowObject_.data())
        return QObject::eventFilter(watched, event);
    if (event->type() == QEvent::Show && trayIcon_) {
        trayIcon_->setVisible(false);
    } else if (event->type() == QEvent::Close) {
        if (systemTrayAvailable_ && systemTrayAvailable_()) {
            mainWindowDidClose();
            return false;  // the window hides; the application stays in the tray
        }
        // Without a tray nothing would bring the window back: closing it means quitting.
        event->ignore();
        terminate(mainWindow_);
        return true;
    }
    return QObject::eventFilter(watched, event);
}

void AppDelegate::mainWindowDidClose() {
    if (!trayIcon_) {
        trayIcon_ = std::make_unique<ApplicationTrayIcon>();
        connect(trayIcon_.get(), &ApplicationTrayIcon::showRequested, this, &AppDelegate::reopen);
        connect(trayIcon_.get(), &ApplicationTrayIcon::quitRequested, this,
                [this] { terminate(trayIcon_.get()); });
    }
    trayIcon_->setVisible(true);
}

void AppDelegate::installMenus() {
    if (mainWindow_) installApplicationMenu(*mainWindow_, *this);
}

}  // namespace clipmoor
