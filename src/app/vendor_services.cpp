#include "app/vendor_services.h"

#include <QDesktopServices>

#include "app/software_updater.h"

namespace clipmoor {

const QUrl& LocalVendorServices::feedbackAddress() {
    static const QUrl address(
        QStringLiteral("mailto:feedback@clipmoor.app?subject=Clipmoor%20feedback"));
    return address;
}

void LocalVendorServices::showFeedbackDialog(int) {
    if (!QDesktopServices::openUrl(feedbackAddress()))
        qWarning("Clipmoor: no program opens %s", qPrintable(feedbackAddress().toString()));
}

SoftwareUpdater& LocalVendorServices::sharedUpdater() {
    return SoftwareUpdater::sharedUpdater();
}

}  // namespace clipmoor
