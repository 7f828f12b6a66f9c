// A lookup that reaches nobody. This process never starts the site: the main host is mapped to
// a loopback port where nothing listens.
#include <QTcpServer>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "main_window/main_view_controller.h"
#include "main_window/main_window.h"
#include "test_environment.h"
#include "top_row_probe.h"

namespace clipmoor {
namespace {

class MainViewControllerOfflineTest : public testing::Test {
protected:
    static void SetUpTestSuite() {
        // A port that was free a moment ago and is closed now.
        QTcpServer probe;
        ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
        const quint16 closedPort = probe.serverPort();
        probe.close();
        const QByteArray mapping =
            QStringLiteral("www.youtube.com:443:127.0.0.1:%1").arg(closedPort).toLatin1();
        setenv("CLIPMOOR_CONNECT_TO", mapping.constData(), 1);
    }
};

TEST_F(MainViewControllerOfflineTest, UnreachableSiteEndsSilentlyWithAnEmptyRow) {
    MainWindow window;
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    MainViewController* controller = window.mainViewController();
    ClipmoorTextField* field = controller->urlTextField();

    field->clearFocus();
    QTest::mouseClick(field, Qt::LeftButton);
    field->setText("https://www.youtube.com/watch?v=AllStreams1");
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_EQ(test::TopRow::of(*controller), test::TopRow::lookingUp());

    ASSERT_TRUE(test::waitUntil([&] { return field->isEnabled(); }));
    EXPECT_EQ(field->text(), "");
    EXPECT_EQ(test::TopRow::of(*controller), test::TopRow::idle());
    test::spinEventLoop(50);
    EXPECT_TRUE(test::openSheets(&window).isEmpty());
}

}  // namespace
}  // namespace clipmoor
