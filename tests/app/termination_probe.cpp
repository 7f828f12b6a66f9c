// A Clipmoor shell for the termination tests: it makes a download record without saving it,
// says "ready" and runs until a signal ends it, exactly as the application handles signals.
#include <QApplication>
#include <QTimer>

#include <cstdio>

#include "app/app_delegate.h"
#include "app/vendor_services.h"
#include "download/clipmoor_model.h"
#include "download/video.h"
#include "store/core_data_controller.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 2) return 2;
    clipmoor::LocalVendorServices vendorServices;
    clipmoor::AppDelegate delegate(vendorServices);
    delegate.installTerminationHandlers();
    clipmoor::ManagedObjectContext* context = delegate.coreDataController()->managedObjectContext();
    if (!context) return 3;
    auto video = context->insertNewObjectForEntityForName<clipmoor::Video>(
        QString::fromLatin1(clipmoor::kVideoEntityName));
    video->setTitle(QString::fromLocal8Bit(argv[1]));
    QTimer::singleShot(0, [] {
        std::puts("ready");
        std::fflush(stdout);
    });
    return app.exec();
}
