#pragma once

#include <QMainWindow>

#include <memory>

namespace clipmoor {

class CoreDataController;
class MainViewController;
class WindowVideoPresenter;

// The application's one window: the address row on top, the download list below. While it
// exists, download records show their sheets on it (videoPresenter()).
class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    // The list shows the records of `coreDataController` (the application's; tests pass their
    // own); without one it stays empty.
    explicit MainWindow(CoreDataController* coreDataController = nullptr,
                        QWidget* parent = nullptr);
    ~MainWindow() override;

    MainViewController* mainViewController() const { return mainViewController_; }
    WindowVideoPresenter* videoPresenter() const { return videoPresenter_.get(); }

private:
    std::unique_ptr<WindowVideoPresenter> videoPresenter_;
    MainViewController* mainViewController_;
};

}  // namespace clipmoor
