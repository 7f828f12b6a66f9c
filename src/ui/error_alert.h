#pragma once

class QMessageBox;
class QWidget;

namespace clipmoor {

class Error;

// Shows a failure the user must know about: an application-modal alert with the error's
// description as its message and its failure reason as the informative text. Returns at once;
// the alert deletes itself when it closes.
QMessageBox* presentError(const Error& error, QWidget* parent = nullptr);

}  // namespace clipmoor
