#pragma once

#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

#include "app/instance_channel.h"
#include "download/download_folder.h"

class QMainWindow;

namespace clipmoor {

class ApplicationTrayIcon;
class CoreDataController;
class QMRMediaPlayerVendor;
class TerminationSignals;
class VendorServices;
class WindowVideoPresenter;

inline constexpr const char* kClipmoorURLSchemePrefix = "clipmoor://url?";
inline constexpr const char* kClipmoorDidRequestToClearDownloadListNotification =
    "ClipmoorDidRequestToClearDownloadListNotification";

// The application's delegate: launch, the download-folder default, the URL-scheme intake, the
// application menu's actions, the tray icon that keeps a running Clipmoor reachable, and
// quitting without losing the download list.
class AppDelegate : public QObject {
    Q_OBJECT

public:
    // What a request to quit gets: quit now, stay, or wait for the user's answer to a
    // question (which then calls replyToApplicationShouldTerminate).
    enum TerminateReply { TerminateCancel = 0, TerminateNow = 1, TerminateLater = 2 };

    static constexpr const char* kQuitAnywayMessage =
        "Could not save changes while quitting. Quit anyway?";
    static constexpr const char* kQuitAnywayInformation =
        "Quitting now will lose any changes you have made since the last successful save";
    static constexpr const char* kQuitAnywayButton = "Quit anyway";
    static constexpr const char* kCancelButton = "Cancel";

    explicit AppDelegate(VendorServices& vendorServices, QObject* parent = nullptr);
    ~AppDelegate() override;

    // The window that the menu belongs to, that addresses from the browser bring forward and
    // whose closing leaves the application running in the tray (or quits without one).
    void setMainWindow(QMainWindow* window);

    // In order: writes the download-folder default, starts taking addresses from later starts,
    // makes the media player vendor, gives the preferences window its panes, starts the
    // vendor services. False only when another instance already takes the addresses; this one
    // should then hand its own over and end.
    bool applicationDidFinishLaunching();

    // Stores the user's Downloads folder + "/Clipmoor" when the setting has no value at all.
    void prepareUserDefaults();
    // The General and Update panes, in that order, for the shared preferences window.
    void preparePreferencesController();
    // An address from the URL scheme: every "clipmoor://url?" is removed and the rest is posted
    // to the main window. An event without text posts the notification without an object.
    void handleURLEvent(const std::optional<QString>& directObject);

    InstanceChannel& instanceChannel() { return instanceChannel_; }

    // The application's persistence stack, made on first request; its failures are shown as
    // modal alerts.
    CoreDataController* coreDataController();
    void setCoreDataController(std::unique_ptr<CoreDataController> controller);
    // The registry of open players; none before launch.
    QMRMediaPlayerVendor* mediaPlayerVendor() const { return mediaPlayerVendor_.get(); }
    void setMediaPlayerVendor(std::unique_ptr<QMRMediaPlayerVendor> vendor);
    // Download records of the main window play their files in the application's own player and
    // offer the feedback dialog of the application's feedback command.
    void connectRecordPresenter(WindowVideoPresenter* presenter);

    // The application menu's actions; the senders are ignored.
    void openPreferences(QObject* sender = nullptr);
    // Shows the installed browser extension's folder and how to load it; nothing when it is
    // not installed.
    void installSafariExtension(QObject* sender = nullptr);
    // Posts "ClipmoorDidRequestToClearDownloadListNotification" with this delegate as object.
    void clearList(QObject* sender = nullptr);
    void showFeedbackDialog(QObject* sender = nullptr);
    // Quit: asks applicationShouldTerminate and quits when it allows.
    void terminate(QObject* sender = nullptr);

    // Saves the download list before quitting. Nothing to save, or a successful save, quits
    // now. A failed save shows the failure and then asks "Quit anyway?" (TerminateLater).
    TerminateReply applicationShouldTerminate();
    // The answer to a pending quit question: quits when `shouldTerminate`.
    void replyToApplicationShouldTerminate(bool shouldTerminate);
    void applicationWillTerminate() {}
    // The question asked after a failed save, while it is open.
    QMessageBox* terminationAlert() const { return terminationAlert_; }

    // Saves the download list without asking anyone (the process is being ended by a signal
    // or the desktop session is ending); a failure is logged. False when a save failed.
    bool saveWithoutAsking();
    // From now on SIGTERM, SIGINT and SIGHUP save the download list and quit, and the end of
    // the desktop session saves it.
    void installTerminationHandlers();

    // The user asked for Clipmoor (tray icon, a second start). Without visible windows the
    // main window comes back and the answer is false; otherwise true (nothing else to do).
    bool applicationShouldHandleReopen(bool hasVisibleWindows);
    void reopen();

    // How the application quits (QCoreApplication::quit unless replaced, as tests do).
    void setApplicationQuitter(std::function<void()> quitter) { quitter_ = std::move(quitter); }
    // Whether the desktop has a system tray (asked each time the main window closes).
    void setSystemTrayAvailability(std::function<bool()> available) {
        systemTrayAvailable_ = std::move(available);
    }
    ApplicationTrayIcon* trayIcon() const { return trayIcon_.get(); }

    // The user's Downloads folder joined with "Clipmoor".
    static QString defaultMediaDownloadPath() { return clipmoor::defaultMediaDownloadPath(); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void installMenus();
    void bringMainWindowForward();
    void askToQuitAnyway();
    void quitApplication();
    void mainWindowDidClose();

    VendorServices& vendorServices_;
    InstanceChannel instanceChannel_;
    QPointer<QMainWindow> mainWindow_;
    // The same window as a plain object, for the event filter: it also sees the window's last
    // events, while the window is already being destroyed.
    QPointer<QObject> mainWindowObject_;
    std::unique_ptr<CoreDataController> coreDataController_;
    std::unique_ptr<QMRMediaPlayerVendor> mediaPlayerVendor_;
    std::unique_ptr<ApplicationTrayIcon> trayIcon_;
    std::unique_ptr<TerminationSignals> terminationSignals_;
    QPointer<QMessageBox> terminationAlert_;
    bool terminationPending_ = false;
    std::function<void()> quitter_;
    std::function<bool()> systemTrayAvailable_;
};

}  // namespace clipmoor
