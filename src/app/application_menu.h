#pragma once

class QMainWindow;

namespace clipmoor {

class AppDelegate;

// Puts the application menu on `window`: File (Preferences…, Install Browser Extension…,
// Clear Download List…, Quit) and Help (Send Feedback…), each item calling its action on
// `delegate`.
void installApplicationMenu(QMainWindow& window, AppDelegate& delegate);

}  // namespace clipmoor
