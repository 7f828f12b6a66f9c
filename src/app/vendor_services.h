#pragma once

#include <QUrl>

namespace clipmoor {

class SoftwareUpdater;

// The outside services the application calls: a usage report and an issue reporter started at
// launch, a feedback dialog, and the updater. Every call returns at once.
class VendorServices {
public:
    virtual ~VendorServices() = default;

    virtual void sendTrackingReport() = 0;
    virtual void setupIssuesController(bool reportingUnhandledIssues) = 0;
    virtual void showFeedbackDialog(int mode) = 0;
    virtual SoftwareUpdater& sharedUpdater() = 0;
};

// Clipmoor's own services: nothing is reported or sent anywhere; feedback is written by the
// user in their own mail program.
class LocalVendorServices : public VendorServices {
public:
    static const QUrl& feedbackAddress();

    // Sends nothing.
    void sendTrackingReport() override {}
    // Installs nothing; only remembers what was asked for.
    void setupIssuesController(bool reportingUnhandledIssues) override {
        reportsUnhandledIssues_ = reportingUnhandledIssues;
    }
    // Opens the feedback address with the desktop's handler.
    void showFeedbackDialog(int mode) override;
    SoftwareUpdater& sharedUpdater() override;

    bool reportsUnhandledIssues() const { return reportsUnhandledIssues_; }

private:
    bool reportsUnhandledIssues_ = false;
};

}  // namespace clipmoor
