#include "main_window/main_window.h"

#include "download/video.h"
#include "main_window/main_view_controller.h"
#include "main_window/window_video_presenter.h"

namespace clipmoor {

MainWindow::MainWindow(CoreDataController* coreDataController, QWidget* parent)
    : QMainWindow(parent),
      videoPresenter_(std::make_unique<WindowVideoPresenter>(this)),
      mainViewController_(nullptr) {
    setWindowTitle(QStringLiteral("Clipmoor"));
    // Installed before the list is read, so records restored now can already report.
    Video::setPresenter(videoPresenter_.get());
    mainViewController_ = new MainViewController(coreDataController, this);
    setCentralWidget(mainViewController_);
    setMinimumSize(560, 320);
    resize(780, 500);
}

MainWindow::~MainWindow() {
    if (Video::presenter() == videoPresenter_.get()) Video::setPresenter(nullptr);
    // The controller goes first, while the presenter still exists.
    delete mainViewController_;
}

}  // namespace clipmoor
