#include "ui/preferences/update_pane_view_controller.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QLocale>

#include "ui/named_image.h"
#include "ui/preferences/updater_settings.h"

namespace clipmoor {

namespace {
constexpr QSize kPaneSize{520, 130};

struct IntervalChoice {
    const char* title;
    qint64 seconds;
};
constexpr IntervalChoice kIntervals[] = {
    {"Hourly", 60 * 60},
    {"Daily", 24 * 60 * 60},
    {"Weekly", 7 * 24 * 60 * 60},
    {"Monthly", 30 * 24 * 60 * 60},
};
}  // namespace

UpdatePaneViewController::UpdatePaneViewController(UpdaterSettings& updater, QObject* parent)
    : QObject(parent), updater_(updater) {}

UpdatePaneViewController::~UpdatePaneViewController() {
    delete view_;
}

QIcon UpdatePaneViewController::image() const {
    return namedImage(QStringLiteral("Update"));
}

QString UpdatePaneViewController::lastCheckText(const std::optional<QDateTime>& date) {
    if (!date || !date->isValid()) return QStringLiteral("Never");
    return QLocale().toString(date->toLocalTime(), QLocale::LongFormat);
}

QWidget* UpdatePaneViewController::view() {
    if (view_) return view_;
    view_ = new QWidget;
    view_->setAccessibleName(title());
    view_->setFixedSize(kPaneSize);

    lastUpdateCheckDateLabel_ = new QLabel(view_);
    lastUpdateCheckDateLabel_->setAccessibleName(QStringLiteral("Last check"));
    lastUpdateCheckDateLabel_->setTextInteractionFlags(Qt::TextSelectableByKeyboard |
                                                       Qt::TextSelectableByMouse);
    automaticallyDownloadUpdatesButton_ =
        new QCheckBox(QStringLiteral("Automatically download and install updates"), view_);
    automaticallyDownloadUpdatesButton_->setAccessibleName(
        QStringLiteral("Automatically download and install updates"));
    checkForUpdatesIntervalPopupButton_ = new QComboBox(view_);
    checkForUpdatesIntervalPopupButton_->setAccessibleName(QStringLiteral("Check for updates"));
    for (const IntervalChoice& choice : kIntervals)
        checkForUpdatesIntervalPopupButton_->addItem(QString::fromLatin1(choice.title),
                                                     choice.seconds);

    auto* layout = new QFormLayout(view_);
    layout->setContentsMargins(20, 20, 20, 20);
    layout->addRow(QStringLiteral("Last checked:"), lastUpdateCheckDateLabel_);
    layout->addRow(QStringLiteral("Check for updates:"), checkForUpdatesIntervalPopupButton_);
    layout->addRow(QString(), automaticallyDownloadUpdatesButton_);
    viewDidLoad();

    connect(automaticallyDownloadUpdatesButton_, &QCheckBox::toggled, this,
            [this](bool checked) { updater_.setAutomaticallyDownloadsUpdates(checked); });
    connect(checkForUpdatesIntervalPopupButton_, &QComboBox::activated, this, [this](int index) {
        updater_.setUpdateCheckInterval(
            checkForUpdatesIntervalPopupButton_->itemData(index).toLongLong());
    });
    return view_;
}

void UpdatePaneViewController::viewDidLoad() {
    lastUpdateCheckDateLabel_->setText(lastCheckText(updater_.lastUpdateCheckDate()));
    automaticallyDownloadUpdatesButton_->setChecked(updater_.automaticallyDownloadsUpdates());
    selectInterval(updater_.updateCheckInterval());
}

void UpdatePaneViewController::willBeDisplayed() {
    if (lastUpdateCheckDateLabel_)
        lastUpdateCheckDateLabel_->setText(lastCheckText(updater_.lastUpdateCheckDate()));
}

void UpdatePaneViewController::selectInterval(qint64 seconds) {
    QComboBox* popup = checkForUpdatesIntervalPopupButton_;
    int index = popup->findData(seconds);
    if (index < 0) {
        // A stored interval none of the choices names is shown as it is, not replaced.
        const qint64 hours = qMax<qint64>(1, seconds / 3600);
        popup->addItem(QStringLiteral("Every %1 hours").arg(hours), seconds);
        index = popup->count() - 1;
    }
    popup->setCurrentIndex(index);
}

}  // namespace clipmoor
