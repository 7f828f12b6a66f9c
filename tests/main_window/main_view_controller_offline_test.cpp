// A lookup that reaches nobody. This process never starts the site: the main host is mapped to
// a loopback port where nothing listens.
#include <QTcpServer>

#include <cstdlib>

#include "top_row_probe.h"

namespace clipmoor {
namespace {

class MainViewControllerOfflineTest : public test::MainWindowFixture {
protected:
    static void SetUpTestSuite() {
        QTcpServer probe;  // a port that was free a moment ago and is closed now
        ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
        const quint16 closedPort = probe.serverPort();
        probe.close();
        setenv("CLIPMOOR_CONNECT_TO",
               qPrintable(QStringLiteral("www.youtube.com:443:127.0.0.1:%1").arg(closedPort)), 1);
    }
};

TEST_F(MainViewControllerOfflineTest, UnreachableSiteEndsSilentlyWithAnEmptyRow) {
    enter("https://www.youtube.com/watch?v=AllStreams1");
    EXPECT_EQ(row(), test::TopRow::lookingUp());
    ASSERT_TRUE(lookupEnds());
    EXPECT_EQ(field->text(), "");
    EXPECT_EQ(row(), test::TopRow::idle());
    test::spinEventLoop(50);
    EXPECT_TRUE(openSheets().isEmpty());
}

}  // namespace
}  // namespace clipmoor
