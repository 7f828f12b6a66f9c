#pragma once

#include <QString>

#include <functional>

namespace clipmoor::test {

// Points HOME and the XDG folders at a fresh temporary folder, so a test never touches the
// real home folder. Called by the test mains before the application object exists.
void usePrivateXdgFolders();
QString privateHome();

// Runs the event loop until `condition` holds or `timeoutMs` passes; returns the condition's
// last value. Tests assert on the result, never on how long it took.
bool waitUntil(const std::function<bool()>& condition, int timeoutMs = 15000);

// Runs the event loop for about `milliseconds` (to show that something does NOT happen).
void spinEventLoop(int milliseconds);

// The test site cannot run (no nginx, no certificates, no free port...): says why and ends the
// test process, so the run fails loudly instead of skipping.
[[noreturn]] void failSetup(const QString& message);

}  // namespace clipmoor::test
