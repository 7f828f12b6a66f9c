// Quitting keeps the download list: the save before quitting, the question after a failed save,
// and signals that end the process.
#include <QApplication>
#include <QFile>
#include <QMainWindow>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <csignal>
#include <cstring>

#include "app/app_delegate.h"
#include "app/vendor_services.h"
#include "download/clipmoor_model.h"
#include "download/video.h"
#include "platform/object_store/fetch_request.h"
#include "store/core_data_controller.h"
#include "test_environment.h"

namespace clipmoor {
namespace {

QString storeFile() {
    return test::privateHome() + "/.local/share/Clipmoor/Clipmoor.storedata";
}

// The titles of the records in the store file, read by a fresh stack as the next start would.
QStringList storedTitles() {
    CoreDataController controller(&loadClipmoorModel);
    ManagedObjectContext* context = controller.managedObjectContext();
    if (!context) return {"(no store)"};
    Error error;
    const auto records = context->executeFetchRequest(FetchRequest(kVideoEntityName), &error);
    QStringList titles;
    for (const auto& record : records.value_or(std::vector<std::shared_ptr<ManagedObject>>{}))
        titles.append(std::static_pointer_cast<Video>(record)->title());
    return titles;
}

// Another program holding the store's write lock, so a save fails while it is held.
class StoreLock {
public:
    StoreLock() {
        sqlite3_open(QFile::encodeName(storeFile()).constData(), &db_);
        locked_ = sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == SQLITE_OK;
    }
    ~StoreLock() {
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(db_);
    }
    bool locked() const { return locked_; }

private:
    sqlite3* db_ = nullptr;
    bool locked_ = false;
};

QMessageBox* visibleAlert(const QString& text) {
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(widget);
            box && box->isVisible() && (text.isEmpty() || box->text() == text))
            return box;
    return nullptr;
}

class TerminationTest : public testing::Test {
protected:
    void SetUp() override {
        delegate.setApplicationQuitter([this] { ++quits; });
        delegate.setMainWindow(&window);
        context = delegate.coreDataController()->managedObjectContext();
        ASSERT_TRUE(context);
    }
    void addRecord(const QString& title) {
        context->insertNewObjectForEntityForName<Video>(kVideoEntityName)->setTitle(title);
    }

    LocalVendorServices vendorServices;
    AppDelegate delegate{vendorServices};
    QMainWindow window;
    ManagedObjectContext* context = nullptr;
    int quits = 0;
};

TEST_F(TerminationTest, ClosingTheWindowWithoutATraySavesAndQuitsAndAFailedSaveAsksFirst) {
    EXPECT_EQ(delegate.applicationShouldTerminate(), AppDelegate::TerminateNow);  // nothing to save
    delegate.setSystemTrayAvailability([] { return false; });
    window.show();
    addRecord("unsaved");
    for (const bool quitAnyway : {false, true}) {
        SCOPED_TRACE(quitAnyway);
        StoreLock lock;
        ASSERT_TRUE(lock.locked());
        window.close();  // the save fails: the window stays while the user is asked
        EXPECT_TRUE(window.isVisible());
        EXPECT_EQ(delegate.applicationShouldTerminate(), AppDelegate::TerminateLater);  // asking
        QMessageBox* failure = visibleAlert({});
        ASSERT_TRUE(failure);
        EXPECT_EQ(failure->windowModality(), Qt::ApplicationModal);
        failure->button(QMessageBox::Ok)->click();

        ASSERT_TRUE(test::waitUntil([] { return visibleAlert(AppDelegate::kQuitAnywayMessage); }));
        QMessageBox* question = visibleAlert(AppDelegate::kQuitAnywayMessage);
        EXPECT_EQ(question->windowModality(), Qt::ApplicationModal);
        ASSERT_EQ(question->buttons().size(), 2);  // "Quit anyway", then "Cancel"
        EXPECT_EQ(quits, 0);
        question->buttons()[quitAnyway ? 0 : 1]->click();
        EXPECT_EQ(quits, quitAnyway ? 1 : 0);
        EXPECT_TRUE(context->hasChanges());  // the unsaved changes are still there
        EXPECT_TRUE(test::waitUntil([] { return !visibleAlert({}); }));
    }
    // Once the store can be written again, closing saves them and quits.
    quits = 0;
    window.close();
    EXPECT_EQ(quits, 1);
    EXPECT_EQ(storedTitles(), QStringList({"unsaved"}));
}

class TerminationSignalTest : public testing::TestWithParam<int> {};

TEST_P(TerminationSignalTest, SavesUnsavedRecordsBeforeTheProcessEnds) {
    QProcess probe;
    probe.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    probe.start(QStringLiteral(CLIPMOOR_TERMINATION_PROBE), {"made before the signal"});
    ASSERT_TRUE(probe.waitForStarted());
    ASSERT_TRUE(
        test::waitUntil([&] { return probe.readAllStandardOutput().contains("ready"); }, 60000));
    ASSERT_EQ(::kill(pid_t(probe.processId()), GetParam()), 0);
    ASSERT_TRUE(probe.waitForFinished(60000));
    EXPECT_EQ(probe.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(probe.exitCode(), 0);
    EXPECT_EQ(storedTitles(), QStringList({"made before the signal"}));
}

INSTANTIATE_TEST_SUITE_P(Signals, TerminationSignalTest, testing::Values(SIGTERM, SIGINT, SIGHUP),
                         [](const auto& info) { return std::string(sigabbrev_np(info.param)); });

}  // namespace
}  // namespace clipmoor
