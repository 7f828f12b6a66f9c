#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QObject>
#include <QPointer>

#include "ui/preferences/zk_preferences_module.h"

namespace clipmoor {

class UserDefaults;

// The "General" pane: the download folder ("ClipmoorMediaDownloadPath"). The folder's field
// cannot be typed into; the folder changes only through a folder dialog, opened from the
// pop-up beside it. Choosing a folder stores it and writes the settings at once; cancelling
// changes nothing. Below it, a check box (off unless the user turns it on) that has the main
// window take a video address from the clipboard when it becomes active; it is stored at once
// too.
class GeneralPaneViewController : public QObject, public ZKPreferencesModule {
    Q_OBJECT

public:
    explicit GeneralPaneViewController(UserDefaults& defaults, QObject* parent = nullptr);
    ~GeneralPaneViewController() override;

    QString title() const override { return QStringLiteral("General"); }
    QString identifier() const override { return QStringLiteral("GeneralPane"); }
    QIcon image() const override;
    QWidget* view() override;

    QLineEdit* downloadsPathTextField() const { return downloadsPathTextField_; }
    QComboBox* chooseDownloadsPathPopUpButton() const { return chooseDownloadsPathPopUpButton_; }
    QCheckBox* clipboardPickupCheckBox() const { return clipboardPickupCheckBox_; }

    // Opens the folder dialog beside the window and returns at once; a second call while the
    // dialog is open brings that dialog forward.
    void choosePath(QObject* sender = nullptr);
    // The dialog while it is open.
    QFileDialog* folderDialog() const { return folderDialog_; }

private:
    void viewDidLoad();
    void showPath(const QString& path);
    void folderDialogDidEnd(int result);
    void clipboardPickupToggled(bool on);

    UserDefaults& defaults_;
    QPointer<QWidget> view_;
    QPointer<QLineEdit> downloadsPathTextField_;
    QPointer<QComboBox> chooseDownloadsPathPopUpButton_;
    QPointer<QCheckBox> clipboardPickupCheckBox_;
    QPointer<QFileDialog> folderDialog_;
};

}  // namespace clipmoor
