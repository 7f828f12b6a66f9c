#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QObject>
#include <QPointer>

#include "ui/preferences/zk_preferences_module.h"

namespace clipmoor {

class UpdaterSettings;

// The "Update" pane: the date of the updater's last check ("Never" before the first), whether
// updates are downloaded by themselves, and how often the updater checks. The two controls
// read and write the updater's own settings.
class UpdatePaneViewController : public QObject, public ZKPreferencesModule {
    Q_OBJECT

public:
    explicit UpdatePaneViewController(UpdaterSettings& updater, QObject* parent = nullptr);
    ~UpdatePaneViewController() override;

    QString title() const override { return QStringLiteral("Update"); }
    QString identifier() const override { return QStringLiteral("UpdatePane"); }
    QIcon image() const override;
    QWidget* view() override;
    // The date may have changed since the pane was last shown.
    void willBeDisplayed() override;

    QLabel* lastUpdateCheckDateLabel() const { return lastUpdateCheckDateLabel_; }
    QCheckBox* automaticallyDownloadUpdatesButton() const {
        return automaticallyDownloadUpdatesButton_;
    }
    QComboBox* checkForUpdatesIntervalPopupButton() const {
        return checkForUpdatesIntervalPopupButton_;
    }

    // The date as the label shows it.
    static QString lastCheckText(const std::optional<QDateTime>& date);

private:
    void viewDidLoad();
    void selectInterval(qint64 seconds);

    UpdaterSettings& updater_;
    QPointer<QWidget> view_;
    QPointer<QLabel> lastUpdateCheckDateLabel_;
    QPointer<QCheckBox> automaticallyDownloadUpdatesButton_;
    QPointer<QComboBox> checkForUpdatesIntervalPopupButton_;
};

}  // namespace clipmoor
