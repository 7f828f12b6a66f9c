// The crash test's writer: opens the application's store (under $XDG_DATA_HOME) as the
// application does, finds the generation it holds and saves the next ones in a loop until it
// is killed. It reports on standard output, one line each, written only once the step is over:
//   opening 0  the process is up; the store is opened next
//   ready G    the store is open and holds generation G
//   begin G    the changes of generation G are made; the save starts
//   saved G    the save of generation G has returned and succeeded
// Between saves it pauses for a random time of up to two milliseconds, so that a kill lands
// between saves as well as inside them. A store it cannot open or save ends it with status 3.
#include <QCoreApplication>

#include <unistd.h>

#include <cstdio>
#include <random>

#include "crash_generations.h"
#include "store/core_data_controller.h"

using namespace clipmoor;
namespace crash = clipmoor::test::crash;

namespace {

void report(const char* step, int generation) {
    char line[32];
    const int length = std::snprintf(line, sizeof line, "%s %d\n", step, generation);
    if (::write(STDOUT_FILENO, line, static_cast<std::size_t>(length)) != length) _exit(4);
}

[[noreturn]] void giveUp(const QString& why) {
    std::fprintf(stderr, "store_crash_writer: %s\n", qPrintable(why));
    _exit(3);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    report("opening", 0);
    CoreDataController controller(loadClipmoorModel);
    controller.setErrorPresenter([](const Error& error) { giveUp(error.debugDescription()); });
    ManagedObjectContext* context = controller.managedObjectContext();
    if (!context) giveUp(QStringLiteral("no context"));

    QString failure;
    crash::Records records = crash::readRecords(*context, &failure);
    if (!failure.isEmpty()) giveUp(failure);
    int generation = records.empty() ? 0 : records.rbegin()->first;  // the newest record
    report("ready", generation);

    std::mt19937 random(static_cast<unsigned>(::getpid()));
    std::uniform_int_distribution<int> pauseMicroseconds(0, 2000);
    for (;;) {
        ++generation;
        crash::advance(*context, records, generation);
        report("begin", generation);
        controller.saveAction();
        if (context->hasChanges()) giveUp(QStringLiteral("the save left changes pending"));
        report("saved", generation);
        QCoreApplication::processEvents();  // the change notification, as in the application
        ::usleep(static_cast<useconds_t>(pauseMicroseconds(random)));
    }
}
