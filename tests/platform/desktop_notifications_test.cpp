// The desktop's notification service over a private session bus, answered by our own receiver.
#include <gtest/gtest.h>

#include "fake_notification_service.h"
#include "platform/desktop_notifications.h"
#include "test_environment.h"

namespace clipmoor::test {
namespace {

class DesktopNotificationsTest : public testing::Test {
protected:
    static void SetUpTestSuite() { bus = new PrivateSessionBus; }
    static void TearDownTestSuite() { delete bus; }

    static DesktopNotifications::Notification readyToPlay(std::function<void()> activated = {}) {
        return {"Ready to play", "Tom & Jerry <live>", "transfer.complete", "Play",
                std::move(activated)};
    }

    static inline PrivateSessionBus* bus = nullptr;
    DesktopNotifications notifications{{"Clipmoor", "clipmoor", "app.clipmoor.Clipmoor"}};
};

TEST_F(DesktopNotificationsTest, SaysWhatTheServiceCanShow) {
    struct Case {
        const char* name;
        QStringList capabilities;
        QString summary;
        QString body;
        QStringList actions;
    };
    const Case cases[] = {
        {"markup and actions",
         {"body", "body-markup", "actions"},
         "Ready to play",
         "Tom &amp; Jerry &lt;live&gt;",
         {"default", "Play"}},
        {"a plain body", {"body"}, "Ready to play", "Tom & Jerry <live>", {}},
        {"no body at all", {}, "Ready to play: Tom & Jerry <live>", "", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeNotificationService service(bus->address(), c.capabilities);
        DesktopNotifications sender({"Clipmoor", "clipmoor", "app.clipmoor.Clipmoor"});
        sender.notify(readyToPlay([] {}));
        ASSERT_TRUE(waitUntil([&] { return !service.calls.isEmpty(); }));
        const FakeNotificationService::Call& call = service.calls[0];
        EXPECT_EQ(call.applicationName, "Clipmoor");
        EXPECT_EQ(call.icon, "clipmoor");
        EXPECT_EQ(call.replacesId, 0u);
        EXPECT_EQ(call.summary, c.summary);
        EXPECT_EQ(call.body, c.body);
        EXPECT_EQ(call.actions, c.actions);
        EXPECT_EQ(call.hints.value("category").toString(), "transfer.complete");
        EXPECT_EQ(call.hints.value("desktop-entry").toString(), "app.clipmoor.Clipmoor");
        EXPECT_EQ(call.timeout, -1);
    }
}

TEST_F(DesktopNotificationsTest, AClickRunsTheActionOfThatNotificationOnce) {
    FakeNotificationService service(bus->address());
    int first = 0, second = 0;
    notifications.notify(readyToPlay([&] { ++first; }));
    notifications.notify(readyToPlay([&] { ++second; }));
    ASSERT_TRUE(waitUntil([&] { return service.calls.size() == 2; }));
    spinEventLoop(100);  // the identifiers' answers are in

    service.click(service.calls[1].id);
    ASSERT_TRUE(waitUntil([&] { return second == 1; }));
    service.click(service.calls[1].id);  // closed already: forgotten
    service.click(9999);                 // someone else's
    spinEventLoop(200);
    EXPECT_EQ(first, 0);
    EXPECT_EQ(second, 1);
}

TEST_F(DesktopNotificationsTest, WithoutTheServiceNothingIsShownOrReportedUntilItComes) {
    static QStringList messages;
    const QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType, const QMessageLogContext&, const QString& text) { messages.append(text); });
    notifications.notify(readyToPlay());
    spinEventLoop(500);
    qInstallMessageHandler(previous);
    EXPECT_EQ(messages, QStringList());

    FakeNotificationService service(bus->address());
    notifications.notify(readyToPlay());
    ASSERT_TRUE(waitUntil([&] { return service.calls.size() == 1; }));
    EXPECT_EQ(service.calls[0].summary, "Ready to play");
}

}  // namespace
}  // namespace clipmoor::test
