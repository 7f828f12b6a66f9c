#include "ui/preferences/general_pane_view_controller.h"

#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>

#include "platform/user_defaults.h"
#include "ui/named_image.h"
#include "ui/preferences/clipboard_pickup_preference.h"

namespace clipmoor {

namespace {
constexpr QSize kPaneSize{520, 140};
const char* const kDownloadPathKey = "ClipmoorMediaDownloadPath";
enum PopUpItem { CurrentFolderItem = 0, ChooseItem = 2 };
}  // namespace

GeneralPaneViewController::GeneralPaneViewController(UserDefaults& defaults, QObject* parent)
    : QObject(parent), defaults_(defaults) {}

GeneralPaneViewController::~GeneralPaneViewController() {
    delete folderDialog_;
    delete view_;
}

QIcon GeneralPaneViewController::image() const {
    return namedImage(QStringLiteral("Settings"));
}

QWidget* GeneralPaneViewController::view() {
    if (view_) return view_;
    view_ = new QWidget;
    view_->setAccessibleName(title());
    view_->setFixedSize(kPaneSize);

    auto* label = new QLabel(QStringLiteral("Save downloads in:"), view_);
    downloadsPathTextField_ = new QLineEdit(view_);
    downloadsPathTextField_->setAccessibleName(QStringLiteral("Download folder"));
    // The path changes only through the folder dialog.
    downloadsPathTextField_->setReadOnly(true);
    label->setBuddy(downloadsPathTextField_);

    chooseDownloadsPathPopUpButton_ = new QComboBox(view_);
    chooseDownloadsPathPopUpButton_->setAccessibleName(QStringLiteral("Choose download folder"));
    chooseDownloadsPathPopUpButton_->addItem(QString());
    chooseDownloadsPathPopUpButton_->insertSeparator(1);
    chooseDownloadsPathPopUpButton_->addItem(QStringLiteral("Other…"));
    connect(chooseDownloadsPathPopUpButton_, &QComboBox::activated, this, [this](int index) {
        chooseDownloadsPathPopUpButton_->setCurrentIndex(CurrentFolderItem);
        if (index == ChooseItem) choosePath(chooseDownloadsPathPopUpButton_);
    });

    clipboardPickupCheckBox_ =
        new QCheckBox(QStringLiteral("Look up video addresses copied to the clipboard"), view_);
    clipboardPickupCheckBox_->setAccessibleName(clipboardPickupCheckBox_->text());
    clipboardPickupCheckBox_->setToolTip(
        QStringLiteral("When the Clipmoor window comes to the front, a video address on the "
                       "clipboard goes into the address field and is looked up, once per "
                       "address."));
    clipboardPickupCheckBox_->setChecked(
        defaults_.valueForKey(QString::fromLatin1(kClipmoorPicksUpClipboardAddressesKey)).toBool());
    connect(clipboardPickupCheckBox_, &QCheckBox::toggled, this,
            &GeneralPaneViewController::clipboardPickupToggled);

    auto* layout = new QGridLayout(view_);
    layout->setContentsMargins(20, 20, 20, 20);
    layout->addWidget(label, 0, 0);
    layout->addWidget(chooseDownloadsPathPopUpButton_, 0, 1);
    layout->addWidget(downloadsPathTextField_, 1, 0, 1, 2);
    layout->addWidget(clipboardPickupCheckBox_, 2, 0, 1, 2);
    layout->setColumnStretch(1, 1);
    viewDidLoad();
    return view_;
}

void GeneralPaneViewController::viewDidLoad() {
    showPath(defaults_.stringForKey(QString::fromLatin1(kDownloadPathKey)));
}

void GeneralPaneViewController::showPath(const QString& path) {
    if (!downloadsPathTextField_) return;
    downloadsPathTextField_->setText(path);
    downloadsPathTextField_->setToolTip(path);
    const QFileInfo folder(path);
    chooseDownloadsPathPopUpButton_->setItemText(
        CurrentFolderItem, folder.fileName().isEmpty() ? path : folder.fileName());
    chooseDownloadsPathPopUpButton_->setItemIcon(
        CurrentFolderItem, QFileIconProvider().icon(QFileIconProvider::Folder));
}

void GeneralPaneViewController::choosePath(QObject*) {
    if (folderDialog_) {
        folderDialog_->raise();
        folderDialog_->activateWindow();
        return;
    }
    const QString current = defaults_.stringForKey(QString::fromLatin1(kDownloadPathKey));
    // A window of its own beside the preferences, not a sheet; the toolkit's own dialog, so it
    // behaves the same on every desktop.
    folderDialog_ = new QFileDialog(nullptr, QStringLiteral("Choose the Download Folder"),
                                    QFileInfo(current).isDir() ? current : QDir::homePath());
    folderDialog_->setAttribute(Qt::WA_DeleteOnClose);
    folderDialog_->setFileMode(QFileDialog::Directory);
    folderDialog_->setOptions(QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
    folderDialog_->setAcceptMode(QFileDialog::AcceptOpen);
    folderDialog_->setLabelText(QFileDialog::Accept, QStringLiteral("Choose"));
    connect(folderDialog_, &QFileDialog::finished, this,
            &GeneralPaneViewController::folderDialogDidEnd);
    folderDialog_->show();
}

void GeneralPaneViewController::clipboardPickupToggled(bool on) {
    defaults_.setValue(on, QString::fromLatin1(kClipmoorPicksUpClipboardAddressesKey));
    if (!defaults_.synchronize())
        qWarning("Clipmoor: could not write %s", qPrintable(defaults_.filePath()));
}

void GeneralPaneViewController::folderDialogDidEnd(int result) {
    if (result != QDialog::Accepted || !folderDialog_) return;
    const QStringList chosen = folderDialog_->selectedFiles();
    if (chosen.isEmpty()) return;
    // The folder the user picked (not the folder the dialog was looking into).
    const QString path = QDir::cleanPath(chosen.first());
    defaults_.setValue(path, QString::fromLatin1(kDownloadPathKey));
    if (!defaults_.synchronize())
        qWarning("Clipmoor: could not write %s", qPrintable(defaults_.filePath()));
    showPath(path);
}

}  // namespace clipmoor
