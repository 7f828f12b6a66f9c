#include "store_bench_notifications.h"

#include <QDir>
#include <QObject>

#include <random>

#include "download/clipmoor_model.h"
#include "download/video.h"
#include "store/wbq_fetched_results_controller.h"
#include "store_bench_records.h"
#include "store_bench_timing.h"

namespace clipmoor::bench {

namespace {

// Hears every event, as the list controller does, and counts the object events.
class CountingDelegate : public QObject, public WBQFetchedResultsControllerDelegate {
public:
    ImplementedMethods implementedMethods() const override { return {true, true, true, true}; }
    void controllerDidChangeObject(WBQFetchedResultsController*,
                                   const std::shared_ptr<ManagedObject>&, quint64,
                                   WBQFetchedResultsChangeType, quint64) override {
        ++events;
    }
    int events = 0;
};

enum class Kind { Insert, Delete, Update, All };

// A store of `listSize` saved records, listed whole by a results controller with a counting
// delegate, as the window lists them.
struct ListedStore {
    std::unique_ptr<ManagedObjectContext> context;
    std::unique_ptr<WBQFetchedResultsController> controller;
    CountingDelegate delegate;
};

std::unique_ptr<ListedStore> openListedStore(const QString& path, int listSize, QString* failure) {
    Error error;
    auto store = std::make_unique<ListedStore>();
    store->context = openContext(path, &error);
    if (!store->context || !addVideos(*store->context, listSize, &error)) {
        *failure = error.debugDescription();
        return nullptr;
    }
    store->context->processPendingChanges();  // the insertions are listed by the fetch below
    store->controller = std::make_unique<WBQFetchedResultsController>(
        FetchRequest(QString::fromLatin1(kVideoEntityName)), store->context.get());
    store->controller->setDelegate(&store->delegate);
    if (!store->controller->performFetch(&error)) {
        *failure = error.debugDescription();
        return nullptr;
    }
    return store;
}

}  // namespace

bool measureNotifications(const QString& folder, int listSize, int samples,
                          NotificationCosts* costs, QString* failure) {
    const QString path = QDir(folder).filePath(QStringLiteral("notify-%1.storedata").arg(listSize));
    const auto store = openListedStore(path, listSize, failure);
    if (!store) return false;
    ManagedObjectContext* context = store->context.get();
    const WBQFetchedResultsController& controller = *store->controller;
    CountingDelegate& delegate = store->delegate;
    Error error;

    std::mt19937 random(12345);
    const auto listed = [&] {
        const auto& list = *controller.fetchedObjectsNoCopy();
        std::uniform_int_distribution<std::size_t> position(0, list.size() - 1);
        return std::static_pointer_cast<Video>(list[position(random)]);
    };
    const auto measure = [&](Kind kind) {
        std::vector<double> micros;
        for (int i = 0; i < samples; ++i) {
            int expectedEvents = 0;
            if (kind == Kind::Update || kind == Kind::All) {
                listed()->setTotalBytesWritten(1000 + i);
                ++expectedEvents;
            }
            if (kind == Kind::Delete || kind == Kind::All) {
                context->deleteObject(listed());
                ++expectedEvents;
            }
            if (kind == Kind::Insert || kind == Kind::All) {
                fillVideo(*context->insertNewObjectForEntityForName<Video>(
                              QString::fromLatin1(kVideoEntityName)),
                          listSize + i);
                ++expectedEvents;
            }
            delegate.events = 0;
            const Stopwatch stopwatch;
            context->processPendingChanges();
            micros.push_back(stopwatch.elapsed().wallMs * 1000);
            if (delegate.events != expectedEvents) {
                *failure = QStringLiteral("expected %1 events, the delegate heard %2")
                               .arg(expectedEvents)
                               .arg(delegate.events);
                return -1.0;
            }
            // Saved now and then, outside the measurement, so pending work stays small.
            if (i % 50 == 49 && !context->save(&error)) {
                *failure = error.debugDescription();
                return -1.0;
            }
        }
        return median(micros);
    };
    costs->insertUs = measure(Kind::Insert);
    costs->deleteUs = measure(Kind::Delete);
    costs->updateUs = measure(Kind::Update);
    costs->allUs = measure(Kind::All);
    return costs->insertUs >= 0 && costs->deleteUs >= 0 && costs->updateUs >= 0 &&
           costs->allUs >= 0;
}

bool measureClearing(const QString& folder, int listSize, double* milliseconds, QString* failure) {
    const QString path = QDir(folder).filePath(QStringLiteral("clear-%1.storedata").arg(listSize));
    const auto store = openListedStore(path, listSize, failure);
    if (!store) return false;
    ManagedObjectContext* context = store->context.get();
    const WBQFetchedResultsController& controller = *store->controller;
    const auto listed = *controller.fetchedObjects();
    for (const auto& record : listed) context->deleteObject(record);
    const Stopwatch stopwatch;
    context->processPendingChanges();
    *milliseconds = stopwatch.elapsed().wallMs;
    if (store->delegate.events != listSize || controller.countOfFetchedObjects() != 0) {
        *failure =
            QStringLiteral("clearing left %1 records").arg(controller.countOfFetchedObjects());
        return false;
    }
    return true;
}

}  // namespace clipmoor::bench
