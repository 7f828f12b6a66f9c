// A writer process that saves in a loop (store_crash_writer) is killed with SIGKILL at random
// moments: inside saves, between saves and while it opens a store that an earlier kill left
// behind. After the kills the store opens without complaint and holds exactly the last save
// the writer reported complete, or the one it had begun; record keys are never handed out
// twice.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <optional>
#include <random>
#include <string>

#include "crash_generations.h"
#include "download/clipmoor_model.h"
#include "store/core_data_controller.h"

extern char** environ;

namespace clipmoor {
namespace {

namespace crash = test::crash;
using Clock = std::chrono::steady_clock;
using Milliseconds = std::chrono::duration<double, std::milli>;

// The writer, with its standard output on a pipe to this process.
class WriterProcess {
public:
    enum class Read { Line, Timeout, End };

    WriterProcess() {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
        char* argv[] = {const_cast<char*>(CLIPMOOR_STORE_CRASH_WRITER), nullptr};
        if (posix_spawn(&pid_, CLIPMOOR_STORE_CRASH_WRITER, &actions, nullptr, argv, environ) != 0)
            pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[1]);
        fd_ = fds[0];
    }
    ~WriterProcess() {
        killAndReap();
        if (fd_ >= 0) ::close(fd_);
    }
    WriterProcess(const WriterProcess&) = delete;
    WriterProcess& operator=(const WriterProcess&) = delete;

    bool started() const { return pid_ > 0; }

    // The next whole line, waiting until `deadline` at most. End: the pipe is closed and empty.
    Read readLine(std::string* line, Clock::time_point deadline) {
        for (;;) {
            const auto newline = buffer_.find('\n');
            if (newline != std::string::npos) {
                *line = buffer_.substr(0, newline);
                buffer_.erase(0, newline + 1);
                return Read::Line;
            }
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0) return Read::Timeout;
            pollfd readable{fd_, POLLIN, 0};
            if (::poll(&readable, 1, static_cast<int>(left.count())) <= 0) continue;
            char chunk[256];
            const ssize_t count = ::read(fd_, chunk, sizeof chunk);
            if (count < 0 && errno == EINTR) continue;
            if (count <= 0) return Read::End;
            buffer_.append(chunk, static_cast<std::size_t>(count));
        }
    }

    // SIGKILL unless it has ended already; then its wait status. What it wrote before stays
    // readable.
    int killAndReap() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, &status_, 0);
            pid_ = -1;
        }
        return status_;
    }

private:
    pid_t pid_ = -1;
    int fd_ = -1;
    int status_ = 0;
    std::string buffer_;
};

// What the lines of the writer say the store must hold: the generation of its last completed
// save and, while a save is under way, the one it began.
struct Expectation {
    int confirmed = 0;
    std::optional<int> begun;
    enum class Moment { Starting, Opening, Opened, InSave, BetweenSaves } moment = Moment::Starting;
    std::optional<Clock::time_point> openingAt, readyAt, begunAt;
    std::vector<double> saveMs;  // how long saves took, from begin to saved

    // Takes one line, read as it came (`live`) or after the kill; a message when it breaks
    // the writer's protocol.
    std::string take(const std::string& line, bool live) {
        char step[16] = {};
        int generation = -1;
        if (std::sscanf(line.c_str(), "%15s %d", step, &generation) != 2)
            return "unreadable line \"" + line + "\"";
        const std::string name = step;
        if (name == "opening") {
            openingAt = Clock::now();
            moment = Moment::Opening;
        } else if (name == "ready") {
            // The store after the previous kill: the last completed save or the one begun then.
            if (generation != confirmed && generation != begun.value_or(-1))
                return "opened generation " + std::to_string(generation) + " after completing " +
                       std::to_string(confirmed);
            confirmed = generation;
            begun.reset();
            readyAt = Clock::now();
            moment = Moment::Opened;
        } else if (name == "begin" && generation == confirmed + 1 && !begun) {
            begun = generation;
            begunAt = Clock::now();
            moment = Moment::InSave;
        } else if (name == "saved" && begun == generation) {
            if (live) saveMs.push_back(Milliseconds(Clock::now() - *begunAt).count());
            confirmed = generation;
            begun.reset();
            moment = Moment::BetweenSaves;
        } else {
            return "out of order: \"" + line + "\"";
        }
        return {};
    }
};

double medianOf(std::vector<double> values, double fallback) {
    if (values.empty()) return fallback;
    std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
    return values[values.size() / 2];
}

class StoreCrashTest : public testing::Test {
protected:
    StoreCrashTest() : seed_(std::random_device()()), random_(seed_) {}

    // Starts a writer and kills it: while it opens the store, or at a random moment after it
    // has opened it, within 60 ms or four saves, whichever is longer. Then reads what it wrote
    // before it died.
    void killOneWriter(bool whileOpening) {
        WriterProcess writer;
        ASSERT_TRUE(writer.started()) << "cannot start " << CLIPMOOR_STORE_CRASH_WRITER;
        expected_.moment = Expectation::Moment::Starting;
        expected_.openingAt.reset();
        expected_.readyAt.reset();

        // No deadline before the writer has said where it is, only a limit.
        const Clock::time_point giveUpAt = Clock::now() + std::chrono::seconds(60);
        std::optional<Clock::time_point> killAt;
        std::string line;
        for (;;) {
            const WriterProcess::Read read = writer.readLine(&line, killAt.value_or(giveUpAt));
            if (read == WriterProcess::Read::Timeout) break;
            ASSERT_EQ(read, WriterProcess::Read::Line)
                << "the writer ended by itself, wait status " << writer.killAndReap();
            ASSERT_NO_FATAL_FAILURE(take(line, true));
            if (expected_.readyAt && expected_.openingAt && !killAt)
                openingMs_.push_back(
                    Milliseconds(*expected_.readyAt - *expected_.openingAt).count());
            if (!killAt && whileOpening && expected_.openingAt)
                killAt = *expected_.openingAt + uniform(medianOf(openingMs_, 20));
            if (!killAt && !whileOpening && expected_.readyAt)
                killAt =
                    *expected_.readyAt + uniform(std::max(60.0, 4 * medianOf(expected_.saveMs, 0)));
        }
        ASSERT_LT(Clock::now(), giveUpAt) << "the writer said nothing for a minute";

        const int status = writer.killAndReap();
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL)
            << "the writer ended by itself, wait status " << status;
        ++kills_;
        // Lines written before the kill still count.
        while (writer.readLine(&line, Clock::now() + std::chrono::seconds(10)) ==
               WriterProcess::Read::Line)
            ASSERT_NO_FATAL_FAILURE(take(line, false));
        ++killedAt_[static_cast<int>(expected_.moment)];
    }

    // Opens the store as the application does and compares it with what must be there. Keys
    // of records saved since the last check must lie above every key seen before.
    void checkStore() {
        CoreDataController controller(loadClipmoorModel);
        std::vector<Error> presented;
        controller.setErrorPresenter([&](const Error& error) { presented.push_back(error); });
        ManagedObjectContext* context = controller.managedObjectContext();
        ASSERT_TRUE(context) << (presented.empty() ? std::string("no context")
                                                   : presented[0].debugDescription().toStdString());
        crash::Records records;
        QString failure;
        ASSERT_TRUE(crash::readRecords(*context, &records, &failure)) << failure.toStdString();

        const QString fromConfirmed = crash::differenceFrom(records, expected_.confirmed);
        if (!fromConfirmed.isEmpty()) {
            ASSERT_TRUE(expected_.begun) << "completed save " << expected_.confirmed
                                         << " is not in the store: " << fromConfirmed.toStdString();
            const QString fromBegun = crash::differenceFrom(records, *expected_.begun);
            ASSERT_TRUE(fromBegun.isEmpty())
                << "the store is neither completed save " << expected_.confirmed << " ("
                << fromConfirmed.toStdString() << ") nor save " << *expected_.begun
                << " that was under way (" << fromBegun.toStdString() << ")";
            expected_.confirmed = *expected_.begun;
        }
        expected_.begun.reset();

        qint64 previousKey = 0;
        qint64 highest = highestKey_;
        for (const auto& [number, video] : records) {
            const qint64 key = video->objectID().primaryKey();
            EXPECT_GT(key, previousKey) << "record " << number << " has a key below an older one";
            if (number > checkedGeneration_) {
                EXPECT_GT(key, highestKey_) << "record " << number << " reuses a key";
            }
            previousKey = key;
            highest = std::max(highest, key);
        }
        highestKey_ = highest;
        checkedGeneration_ = expected_.confirmed;
        EXPECT_TRUE(presented.empty());
    }

    int killedAt(Expectation::Moment moment) const { return killedAt_[static_cast<int>(moment)]; }

    void take(const std::string& line, bool live) {
        const std::string broken = expected_.take(line, live);
        ASSERT_TRUE(broken.empty()) << broken;
    }
    Clock::duration uniform(double upToMs) {
        return std::chrono::duration_cast<Clock::duration>(
            Milliseconds(std::uniform_real_distribution<double>(0, upToMs)(random_)));
    }

    const unsigned seed_;
    std::mt19937 random_;
    Expectation expected_;
    int checkedGeneration_ = 0;
    qint64 highestKey_ = 0;
    int kills_ = 0;
    int killedAt_[5] = {};
    std::vector<double> openingMs_;
};

TEST_F(StoreCrashTest, EveryCompletedSaveSurvivesSigkillAtRandomMoments) {
    SCOPED_TRACE("seed " + std::to_string(seed_));
    using Moment = Expectation::Moment;
    const auto enough = [&] {
        return kills_ >= 60 && killedAt(Moment::InSave) >= 15 &&
               killedAt(Moment::BetweenSaves) + killedAt(Moment::Opened) >= 15 &&
               killedAt(Moment::Opening) >= 5;
    };
    for (int round = 0; round < 400 && !enough(); ++round) {
        // Every fifth writer is killed while it opens the store that the previous kill left,
        // before anyone else has opened (and so recovered) it.
        ASSERT_NO_FATAL_FAILURE(killOneWriter(round % 5 == 4));
        const bool nextOpensTheCrashedStore = (round + 1) % 5 == 4;
        if (!nextOpensTheCrashedStore) {
            ASSERT_NO_FATAL_FAILURE(checkStore()) << "after kill " << kills_;
        }
    }
    ASSERT_NO_FATAL_FAILURE(checkStore());
    EXPECT_TRUE(enough());
    // Enough saves that records were also deleted many times.
    EXPECT_GE(expected_.confirmed, 3 * crash::kWindow);
    std::printf("%d kills: %d inside a save, %d between saves, %d while opening; %d saves\n",
                kills_, killedAt(Moment::InSave),
                killedAt(Moment::BetweenSaves) + killedAt(Moment::Opened),
                killedAt(Moment::Opening), expected_.confirmed);
}

TEST_F(StoreCrashTest, StoreKilledWhileBeingCreatedOpensAsANewStore) {
    SCOPED_TRACE("seed " + std::to_string(seed_));
    const QString folder =
        CoreDataController(loadClipmoorModel).applicationDocumentsDirectory().toLocalFile();
    for (int round = 0; round < 12; ++round) {
        ASSERT_TRUE(QDir(folder).removeRecursively());
        expected_ = Expectation();
        checkedGeneration_ = 0;
        highestKey_ = 0;
        ASSERT_NO_FATAL_FAILURE(killOneWriter(true));
        ASSERT_NO_FATAL_FAILURE(checkStore()) << "after kill " << kills_;
    }
}

}  // namespace
}  // namespace clipmoor
