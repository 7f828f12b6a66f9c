#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <memory>
#include <optional>

#include "app/instance_channel.h"

class QMainWindow;

namespace clipmoor {

class CoreDataController;
class VendorServices;

inline constexpr const char* kClipmoorMediaDownloadPathKey = "ClipmoorMediaDownloadPath";
inline constexpr const char* kClipmoorURLSchemePrefix = "clipmoor://url?";

// The application's delegate: launch, the download-folder default, the URL-scheme intake and
// the application menu's actions.
class AppDelegate : public QObject {
    Q_OBJECT

public:
    explicit AppDelegate(VendorServices& vendorServices, QObject* parent = nullptr);
    ~AppDelegate() override;

    // The window that the menu belongs to and that addresses from the browser bring forward.
    void setMainWindow(QMainWindow* window);

    // Writes the download-folder default, starts taking addresses from later starts and
    // starts the vendor services. False only when another instance already takes the
    // addresses; this one should then hand its own over and end.
    bool applicationDidFinishLaunching();

    // Stores the user's Downloads folder + "/Clipmoor" when the setting has no value at all.
    void prepareUserDefaults();
    // An address from the URL scheme: every "clipmoor://url?" is removed and the rest is posted
    // to the main window. An event without text posts the notification without an object.
    void handleURLEvent(const std::optional<QString>& directObject);
    void showFeedbackDialog(QObject* sender = nullptr);

    InstanceChannel& instanceChannel() { return instanceChannel_; }

    // The application's persistence stack, made on first request; its failures are shown as
    // modal alerts.
    CoreDataController* coreDataController();
    void setCoreDataController(std::unique_ptr<CoreDataController> controller);

    // The user's Downloads folder joined with "Clipmoor".
    static QString defaultMediaDownloadPath();

private:
    void installMenus();
    void bringMainWindowForward();

    VendorServices& vendorServices_;
    InstanceChannel instanceChannel_;
    QPointer<QMainWindow> mainWindow_;
    std::unique_ptr<CoreDataController> coreDataController_;
};

}  // namespace clipmoor
