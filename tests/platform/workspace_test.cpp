// The sleep signal's source without a system bus: nothing but one log line, however often asked.
#include <gtest/gtest.h>

#include "platform/workspace.h"

namespace clipmoor::test {
namespace {

int gLogLines = 0;

TEST(WorkspaceTest, WithoutASystemBusObservingReturnsQuietlyWithOneLogLineAtMost) {
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/clipmoor-test-bus");
    const QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType, const QMessageLogContext&, const QString&) { ++gLogLines; });
    Workspace& workspace = Workspace::sharedWorkspace();
    EXPECT_FALSE(workspace.startObservingSystemSleep());
    EXPECT_FALSE(workspace.startObservingSystemSleep());
    qInstallMessageHandler(previous);
    EXPECT_FALSE(workspace.isObservingSystemSleep());
    EXPECT_LE(gLogLines, 1);
}

}  // namespace
}  // namespace clipmoor::test
