#include <QApplication>
#include <QStringList>
#include <QTimer>

#include "app/app_delegate.h"
#include "app/instance_channel.h"
#include "app/vendor_services.h"
#include "main_window/main_window.h"
#include "ui/named_image.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Clipmoor"));
    QApplication::setApplicationVersion(QStringLiteral(CLIPMOOR_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("app.clipmoor.Clipmoor"));
    QApplication::setWindowIcon(clipmoor::namedImage(QStringLiteral("clipmoor")));

    // The desktop starts us as "clipmoor %u" for clipmoor:// addresses.
    const QStringList arguments = QApplication::arguments().mid(1);
    const QString address = arguments.isEmpty() ? QString() : arguments.first();

    if (clipmoor::InstanceChannel::sendToRunningInstance(address)) return 0;

    clipmoor::LocalVendorServices vendorServices;
    clipmoor::AppDelegate delegate(vendorServices);
    clipmoor::MainWindow window(delegate.coreDataController());
    delegate.setMainWindow(&window);
    delegate.connectRecordPresenter(window.videoPresenter());

    if (!delegate.applicationDidFinishLaunching()) {
        // Another instance started at the same moment and won: hand the address to it.
        return clipmoor::InstanceChannel::sendToRunningInstance(address) ? 0 : 1;
    }
    // SIGTERM, SIGINT and the end of the desktop session keep the download list.
    delegate.installTerminationHandlers();
    window.show();
    if (!address.isEmpty()) {
        // Delivered once the event loop runs, as any later address would be.
        QTimer::singleShot(0, &delegate,
                           [&delegate, address] { delegate.handleURLEvent(address); });
    }
    return app.exec();
}
