#include "main_window/main_window.h"

#include "main_window/main_view_controller.h"

namespace clipmoor {

MainWindow::MainWindow(QWidget* parent)
    : QMainWindow(parent), mainViewController_(new MainViewController(this)) {
    setWindowTitle(QStringLiteral("Clipmoor"));
    setCentralWidget(mainViewController_);
    setMinimumSize(560, 320);
    resize(780, 500);
}

}  // namespace clipmoor
