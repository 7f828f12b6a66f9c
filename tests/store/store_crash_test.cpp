// A writer process that saves in a loop (store_crash_writer) is killed with SIGKILL at random
// moments: inside saves, between saves, while it opens a store that an earlier kill left behind
// and while it creates a new one. After the kills the store opens without complaint and holds
// exactly the last save the writer reported complete, or the one it had begun.
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <random>

#include "crash_generations.h"
#include "download/clipmoor_model.h"
#include "store/core_data_controller.h"

namespace clipmoor {
namespace {

namespace crash = test::crash;

class StoreCrashTest : public testing::Test {
protected:
    // Starts a writer and kills it: while it opens the store (within the time the last opening
    // took), or at a random moment after it has opened it (within 60 ms or four saves, whichever
    // is longer). Then takes what it wrote before it died.
    void killOneWriter(bool whileOpening) {
        QProcess writer;
        writer.start(CLIPMOOR_STORE_CRASH_WRITER, QStringList());
        ASSERT_TRUE(writer.waitForStarted()) << "cannot start " << CLIPMOOR_STORE_CRASH_WRITER;
        QElapsedTimer clock;
        clock.start();
        std::optional<qint64> openingAt, readyAt, begunAt, killAt;
        const auto uniform = [this](double upTo) {
            return qint64(std::uniform_real_distribution<double>(0, upTo)(random_));
        };
        // No deadline before the writer has said where it is, only a limit.
        while (!killAt || clock.elapsed() < *killAt) {
            const qint64 wait = killAt ? *killAt - clock.elapsed() : 60'000;
            ASSERT_TRUE(writer.waitForReadyRead(int(std::max<qint64>(wait, 1))) || killAt)
                << "the writer ended by itself or said nothing for a minute: "
                << writer.readAllStandardError().toStdString();
            while (writer.canReadLine()) {
                const QByteArray line = writer.readLine();
                ASSERT_NO_FATAL_FAILURE(take(line));
                if (line.startsWith("opening")) openingAt = clock.elapsed();
                if (line.startsWith("ready")) readyAt = clock.elapsed();
                if (line.startsWith("begin")) begunAt = clock.elapsed();
                if (line.startsWith("saved")) saveMs_ = clock.elapsed() - *begunAt;
            }
            if (readyAt && openingAt && !killAt) openingMs_ = *readyAt - *openingAt;
            if (!killAt && whileOpening && openingAt) killAt = *openingAt + uniform(openingMs_);
            if (!killAt && !whileOpening && readyAt)
                killAt = *readyAt + uniform(std::max<double>(60, 4 * saveMs_));
        }
        ASSERT_EQ(writer.state(), QProcess::Running)
            << "the writer ended by itself: " << writer.readAllStandardError().toStdString();
        writer.kill();
        ASSERT_TRUE(writer.waitForFinished());
        // Lines written before the kill still count.
        while (writer.canReadLine()) {
            ASSERT_NO_FATAL_FAILURE(take(writer.readLine()));
        }
        ++kills_;
        killsInSave_ += lastStep_ == "begin";
        killsWhileOpening_ += lastStep_ == "opening";
    }

    // One line of the writer's protocol (see store_crash_writer.cpp).
    void take(const QByteArray& line) {
        const QList<QByteArray> parts = line.trimmed().split(' ');
        ASSERT_EQ(parts.size(), 2) << "unreadable line: " << line.toStdString();
        const int generation = parts[1].toInt();
        lastStep_ = parts[0];
        if (parts[0] == "opening") return;
        if (parts[0] == "ready") {
            // The store after the previous kill: the last completed save or the one begun then.
            ASSERT_TRUE(generation == confirmed_ || generation == begun_.value_or(-1))
                << "opened generation " << generation << " after completing " << confirmed_;
            confirmed_ = generation;
            begun_.reset();
        } else if (parts[0] == "begin" && generation == confirmed_ + 1 && !begun_) {
            begun_ = generation;
        } else if (parts[0] == "saved" && begun_ == generation) {
            confirmed_ = generation;
            begun_.reset();
        } else {
            FAIL() << "out of order: " << line.toStdString();
        }
    }

    // Opens the store as the application does and compares it with what must be there.
    void checkStore() {
        CoreDataController controller(loadClipmoorModel);
        std::vector<Error> presented;
        controller.setErrorPresenter([&](const Error& error) { presented.push_back(error); });
        ManagedObjectContext* context = controller.managedObjectContext();
        ASSERT_TRUE(context) << presented.at(0).debugDescription().toStdString();
        QString failure;
        const crash::Records records = crash::readRecords(*context, &failure);
        ASSERT_TRUE(failure.isEmpty()) << failure.toStdString();

        const QString fromConfirmed = crash::differenceFrom(records, confirmed_);
        const QString fromBegun =
            begun_ ? crash::differenceFrom(records, *begun_) : "no save was under way";
        ASSERT_TRUE(fromConfirmed.isEmpty() || fromBegun.isEmpty())
            << "not completed save " << confirmed_ << ": " << fromConfirmed.toStdString()
            << "; not the save under way: " << fromBegun.toStdString();
        if (!fromConfirmed.isEmpty()) confirmed_ = *begun_;
        begun_.reset();
        EXPECT_TRUE(presented.empty());
    }

    const unsigned seed_ = std::random_device()();
    std::mt19937 random_{seed_};
    int confirmed_ = 0;                   // the writers' last completed save
    std::optional<int> begun_;            // the save under way when the last writer died
    qint64 openingMs_ = 20, saveMs_ = 0;  // how long the last opening and save took
    QByteArray lastStep_;                 // of the last line the last writer wrote
    int kills_ = 0, killsInSave_ = 0, killsWhileOpening_ = 0;
};

TEST_F(StoreCrashTest, EveryCompletedSaveSurvivesSigkillAtRandomMoments) {
    SCOPED_TRACE("seed " + std::to_string(seed_));
    const auto enough = [&] {
        return kills_ >= 60 && killsInSave_ >= 15 &&
               kills_ - killsInSave_ - killsWhileOpening_ >= 15 && killsWhileOpening_ >= 5;
    };
    for (int round = 0; round < 400 && !enough(); ++round) {
        // Every fifth writer is killed while it opens the store that the previous kill left,
        // before anyone else has opened (and so recovered) it.
        ASSERT_NO_FATAL_FAILURE(killOneWriter(round % 5 == 4));
        if ((round + 1) % 5 != 4) {
            ASSERT_NO_FATAL_FAILURE(checkStore()) << "after kill " << kills_;
        }
    }
    ASSERT_NO_FATAL_FAILURE(checkStore());
    EXPECT_TRUE(enough()) << kills_ << " kills: " << killsInSave_ << " inside a save, "
                          << killsWhileOpening_ << " while opening";
    // Enough saves that records were also deleted many times.
    EXPECT_GE(confirmed_, 3 * crash::kWindow);
}

TEST_F(StoreCrashTest, StoreKilledWhileBeingCreatedOpensAsANewStore) {
    SCOPED_TRACE("seed " + std::to_string(seed_));
    const QString folder =
        CoreDataController(loadClipmoorModel).applicationDocumentsDirectory().toLocalFile();
    for (int round = 0; round < 12; ++round) {
        ASSERT_TRUE(QDir(folder).removeRecursively());
        confirmed_ = 0;
        ASSERT_NO_FATAL_FAILURE(killOneWriter(true));
        ASSERT_NO_FATAL_FAILURE(checkStore()) << "after kill " << kills_;
    }
}

}  // namespace
}  // namespace clipmoor
