// The desktop's notification service over a private session bus, answered by our own receiver.
#include <gtest/gtest.h>

#include "fake_notification_service.h"
#include "platform/desktop_notifications.h"

namespace clipmoor::test {
namespace {

class DesktopNotificationsTest : public testing::Test {
protected:
    static void SetUpTestSuite() { bus = new PrivateSessionBus; }
    static void TearDownTestSuite() { delete bus; }
    const DesktopNotifications::Notification readyToPlay{"Ready to play", "Tom & Jerry <live>",
                                                         "transfer.complete", "Play", [] {}};

    static inline PrivateSessionBus* bus = nullptr;
    DesktopNotifications notifications{{"Clipmoor", "clipmoor", "app.clipmoor.Clipmoor"}};
};

TEST_F(DesktopNotificationsTest, EscapesTheBodyAndOffersTheClickWhereTheServiceCan) {
    const struct {
        QStringList capabilities;
        QString body;
        QStringList actions;
    } cases[] = {
        {{"body", "body-markup", "actions"}, "Tom &amp; Jerry &lt;live&gt;", {"default", "Play"}},
        {{"body"}, "Tom & Jerry <live>", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.capabilities.join(' ').toStdString());
        FakeNotificationService service(bus->address(), c.capabilities);
        DesktopNotifications sender({"Clipmoor", "clipmoor", "app.clipmoor.Clipmoor"});
        sender.notify(readyToPlay);
        ASSERT_TRUE(waitUntil([&] { return !service.calls.isEmpty(); }));
        const FakeNotificationService::Call& call = service.calls[0];
        EXPECT_EQ(QStringList({call.applicationName, call.icon, call.summary, call.body}),
                  QStringList({"Clipmoor", "clipmoor", "Ready to play", c.body}));
        EXPECT_EQ(call.actions, c.actions);
        EXPECT_EQ(call.hints.value("category"), "transfer.complete");
        EXPECT_EQ(call.hints.value("desktop-entry"), "app.clipmoor.Clipmoor");
        EXPECT_EQ(call.timeout, -1);
    }
}

TEST_F(DesktopNotificationsTest, WithoutTheServiceNothingIsShownOrReportedUntilItComes) {
    static QStringList messages;
    const QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType, const QMessageLogContext&, const QString& text) { messages.append(text); });
    notifications.notify(readyToPlay);
    spinEventLoop(500);
    qInstallMessageHandler(previous);
    EXPECT_EQ(messages, QStringList());

    FakeNotificationService service(bus->address());
    notifications.notify(readyToPlay);
    EXPECT_TRUE(waitUntil([&] { return service.calls.size() == 1; }));
}

}  // namespace
}  // namespace clipmoor::test
