#pragma once

#include <QMainWindow>

namespace clipmoor {

class MainViewController;

// The application's one window: the address row on top, the download list below.
class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    explicit MainWindow(QWidget* parent = nullptr);

    MainViewController* mainViewController() const { return mainViewController_; }

private:
    MainViewController* mainViewController_;
};

}  // namespace clipmoor
