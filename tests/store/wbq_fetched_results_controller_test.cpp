// The results controller: which events one change notification produces, in which order and
// at which positions, and that replaying them one at a time rebuilds the list.
#include <gtest/gtest.h>

#include <random>

#include "store/fetched_results_ordering.h"
#include "store/wbq_fetched_results_controller.h"

namespace clipmoor {
namespace {

// Records the events and mirrors the list by applying each change as it is reported.
class RecordingDelegate : public QObject, public WBQFetchedResultsControllerDelegate {
public:
    QStringList events;
    std::vector<ManagedObject*> mirror;
    std::function<void()> onDidChangeObject;

    ImplementedMethods implementedMethods() const override { return {true, true, true, true}; }
    void controllerWillChangeContent(WBQFetchedResultsController*) override {
        events.push_back("will");
    }
    void controllerDidChangeContent(WBQFetchedResultsController*) override {
        events.push_back("did");
    }
    void controllerDidChangeObject(WBQFetchedResultsController* controller,
                                   const std::shared_ptr<ManagedObject>& object, quint64 index,
                                   WBQFetchedResultsChangeType type, quint64 newIndex) override {
        const QString names[] = {"insert", "delete", "move", "update"};
        const auto at = [](quint64 i) { return i == NSNotFound ? "-" : QString::number(i); };
        events.push_back(QStringLiteral("%1 %2 %3 %4")
                             .arg(names[type], object->valueForKey("title").toString(), at(index),
                                  at(newIndex)));
        if (type == WBQFetchedResultsChangeDelete || type == WBQFetchedResultsChangeMove)
            mirror.erase(mirror.begin() + index);
        if (type == WBQFetchedResultsChangeInsert || type == WBQFetchedResultsChangeMove)
            mirror.insert(mirror.begin() + newIndex, object.get());
        if (type == WBQFetchedResultsChangeUpdate) {
            EXPECT_EQ(mirror.at(index), object.get());
        }
        EXPECT_EQ(mirror, listOf(*controller)) << "after " << events.back().toStdString();
        if (onDidChangeObject) onDidChangeObject();
    }
    static std::vector<ManagedObject*> listOf(const WBQFetchedResultsController& controller) {
        std::vector<ManagedObject*> list;
        for (const auto& object : *controller.fetchedObjectsNoCopy()) list.push_back(object.get());
        return list;
    }
};

class ResultsControllerTest : public testing::Test {
public:
    void SetUp() override {
        auto model = ManagedObjectModel::create(
            "ListModel", {{"Item",
                           {},
                           {{"title", AttributeType::String},
                            {"rank", AttributeType::Integer64},
                            {"note", AttributeType::String}},
                           {}},
                          {"SubItem", "Item", {}, {}},
                          {"Other", {}, {{"title", AttributeType::String}}, {}}});
        auto coordinator = std::make_shared<PersistentStoreCoordinator>(model);
        ASSERT_TRUE(coordinator->addPersistentStore(NSInMemoryStoreType, {}, nullptr));
        context_ = std::make_unique<ManagedObjectContext>();
        context_->setPersistentStoreCoordinator(coordinator);
    }

    ManagedObjectContext& context() { return *context_; }
    std::shared_ptr<ManagedObject> item(const QString& title) { return records_.at(title); }

    // Adds a record described as "TITLE[:RANK[:NOTE]]".
    std::shared_ptr<ManagedObject> add(const QString& seed, const QString& entity = "Item") {
        const QStringList fields = seed.split(':');
        auto object = context_->insertNewObjectForEntityForName(entity);
        object->setValue(fields[0], "title");
        if (fields.size() > 1) object->setValue(fields[1].toInt(), "rank");
        if (fields.size() > 2) object->setValue(fields[2], "note");
        records_[fields[0]] = object;
        return object;
    }

    void start(const FetchRequest& request) {
        context_->processPendingChanges();
        controller_ = std::make_unique<WBQFetchedResultsController>(request, context_.get());
        controller_->setDelegate(&delegate_);
        ASSERT_TRUE(controller_->performFetch(nullptr));
        delegate_.mirror = RecordingDelegate::listOf(*controller_);
    }

    // Posts the context's change notification with the records of these titles under each key.
    void post(const std::map<const char*, QStringList>& titlesByKey) {
        QVariantMap userInfo;
        for (const auto& [key, titles] : titlesByKey) {
            ManagedObjectSet objects;
            for (const QString& title : titles) objects << item(title);
            userInfo[key] = QVariant::fromValue(objects);
        }
        NotificationCenter::defaultCenter().post(NSManagedObjectContextObjectsDidChangeNotification,
                                                 QVariant::fromValue<QObject*>(context_.get()),
                                                 userInfo);
    }

protected:
    std::unique_ptr<ManagedObjectContext> context_;
    std::map<QString, std::shared_ptr<ManagedObject>> records_;
    RecordingDelegate delegate_;
    std::unique_ptr<WBQFetchedResultsController> controller_;
};

struct ChangeCase {
    const char* name;
    const char* initial;  // records as add() takes them, separated by spaces
    std::function<void(FetchRequest&)> configure;
    std::function<void(ResultsControllerTest&)> change;
    const char* events;  // replayed on the list as it was, they must give the list as it is
};

class ChangeTable : public ResultsControllerTest, public testing::WithParamInterface<ChangeCase> {};

TEST_P(ChangeTable, ProducesTheseEvents) {
    for (const QString& seed : QString(GetParam().initial).split(' ')) add(seed);
    FetchRequest request("Item");
    GetParam().configure(request);
    start(request);
    GetParam().change(*this);
    context().processPendingChanges();
    EXPECT_EQ(delegate_.events.join(", "), GetParam().events);
    EXPECT_EQ(delegate_.mirror, RecordingDelegate::listOf(*controller_));
}

const auto unsorted = [](FetchRequest&) {};
const auto sortBy = [](const char* key, bool ascending = true) {
    return [=](FetchRequest& r) { r.setSortDescriptors({SortDescriptor(key, ascending)}); };
};
const auto rankIsOne = [](FetchRequest& r) { r.setPredicate(Predicate::keyPathEquals("rank", 1)); };
const char* const abc = "A:1:a B:2:b C:3:c";
using T = ResultsControllerTest;
const auto posts = [](std::map<const char*, QStringList> titlesByKey) {
    return [=](T& t) { t.post(titlesByKey); };
};

INSTANTIATE_TEST_SUITE_P(
    ResultsController, ChangeTable,
    testing::Values(
        ChangeCase{"SortKeyChangeThatKeepsThePositionIsAnUpdate", abc, sortBy("note"),
                   [](T& t) { t.item("B")->setValue("bb", "note"); }, "will, update B 1 -, did"},
        ChangeCase{"OtherAttributeChangeIsAnUpdateWithoutSearch", abc, sortBy("note"),
                   [](T& t) { t.item("B")->setValue(99, "rank"); }, "will, update B 1 -, did"},
        ChangeCase{"MovedRecordGoesBeforeEqualOnes", "A:1 B:2 C:2 D:3", sortBy("rank"),
                   [](T& t) { t.item("D")->setValue(2, "rank"); }, "will, move D 3 1, did"},
        ChangeCase{"MissingValueMovesBeforeAllValues", abc, sortBy("rank"),
                   [](T& t) { t.item("C")->setValue(QVariant(), "rank"); },
                   "will, move C 2 0, did"},
        ChangeCase{"MissingValueMovesAfterAllValuesWhenDescending", abc, sortBy("rank", false),
                   [](T& t) { t.item("C")->setValue(QVariant(), "rank"); },
                   "will, move C 0 2, did"},
        ChangeCase{"FetchLimitDropsInsertionsAtOrBeyondItOnly", abc,
                   [](FetchRequest& r) {
                       sortBy("rank")(r);
                       r.setFetchLimit(3);
                   },
                   [](T& t) {
                       t.add("D:4");
                       t.add("E:0");
                   },
                   "will, insert E - 0, did"},
        ChangeCase{"DeletionsLeaveFromTheEndAndInsertionsAppendWithoutSort", abc, unsorted,
                   [](T& t) {
                       t.context().deleteObject(t.item("A"));
                       t.context().deleteObject(t.item("C"));
                       t.add("D");
                   },
                   "will, delete C 2 -, delete A 0 -, insert D - 1, did"},
        ChangeCase{"UnlistedNonMatchingUpdateGivesOnlyContentEvents", "A:1 X:2", rankIsOne,
                   [](T& t) { t.item("X")->setValue("n", "note"); }, "will, did"},
        ChangeCase{"OtherEntityGivesNoEventAtAll", abc, unsorted, [](T& t) { t.add("O", "Other"); },
                   ""},
        ChangeCase{"SubEntityRecordIsInserted", abc, unsorted, [](T& t) { t.add("S", "SubItem"); },
                   "will, insert S - 3, did"},
        ChangeCase{"RefreshedRecordMovesToTheTopWithoutSort", abc, unsorted,
                   posts({{NSRefreshedObjectsKey, {"C"}}}), "will, move C 2 0, did"},
        ChangeCase{"InsertedButListedAndUpdatedIsAnUpdate", abc, unsorted,
                   posts({{NSInsertedObjectsKey, {"B"}}, {NSUpdatedObjectsKey, {"B"}}}),
                   "will, update B 1 -, did"},
        ChangeCase{"UpdatedAndDeletedIsOnlyADeletion", abc, unsorted,
                   posts({{NSUpdatedObjectsKey, {"B"}}, {NSDeletedObjectsKey, {"B"}}}),
                   "will, delete B 1 -, did"},
        ChangeCase{"InvalidatedRecordIsDeleted", abc, unsorted,
                   posts({{NSInvalidatedObjectsKey, {"A"}}}), "will, delete A 0 -, did"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ResultsControllerTest, GoneDelegateOrControllerNeverGetsCalled) {
    add("A");
    add("B");
    start(FetchRequest("Item"));
    {
        RecordingDelegate shortLived;
        controller_->setDelegate(&shortLived);
    }
    EXPECT_EQ(controller_->delegate(), nullptr);
    context().deleteObject(item("A"));
    context().processPendingChanges();
    EXPECT_EQ(RecordingDelegate::listOf(*controller_), std::vector{item("B").get()});

    // A delegate that destroys the controller in the middle of a notification.
    controller_->setDelegate(&delegate_);
    delegate_.mirror = RecordingDelegate::listOf(*controller_);
    delegate_.onDidChangeObject = [this] { controller_.reset(); };
    const std::size_t observers = NotificationCenter::defaultCenter().observerCount();
    add("C");
    add("D");
    context().processPendingChanges();
    EXPECT_EQ(delegate_.events.join(", "), "will, insert C - 1");
    EXPECT_EQ(NotificationCenter::defaultCenter().observerCount(), observers - 1);
    add("E");
    context().processPendingChanges();
    EXPECT_EQ(delegate_.events.size(), 2u);
}

TEST_F(ResultsControllerTest, FetchNeedsARequestAndAFailedFetchKeepsTheList) {
    add("A");
    WBQFetchedResultsController controller(std::nullopt, context_.get());
    EXPECT_FALSE(controller.performFetch(nullptr));
    EXPECT_FALSE(controller.fetchedObjects());

    controller.setFetchRequest(FetchRequest("NoSuchEntity"));
    Error error;
    EXPECT_FALSE(controller.performFetch(&error));
    EXPECT_TRUE(error.isValid());

    controller.setFetchRequest(FetchRequest("Item"));
    context().processPendingChanges();  // dropped: nothing fetched yet
    ASSERT_TRUE(controller.performFetch(nullptr));
    EXPECT_EQ(controller.fetchedObjects()->size(), 1u);

    // A failing fetch after a successful one keeps the list and still answers yes.
    controller.setFetchRequest(FetchRequest("NoSuchEntity"));
    EXPECT_TRUE(controller.performFetch(&error));
    EXPECT_EQ(controller.countOfFetchedObjects(), 1u);
    EXPECT_EQ(controller.objectInFetchedObjectsAtIndex(5), nullptr);
}

// Random insertions, sort-key changes, other changes and deletions, a few per turn: replaying
// the events on the old list gives the new list, which holds exactly the matching records in
// sort order.
class RandomChanges : public ResultsControllerTest, public testing::WithParamInterface<int> {};

TEST_P(RandomChanges, ReplayedEventsRebuildTheList) {
    std::mt19937 random(GetParam());
    const bool sorted = GetParam() % 3 != 0;
    const bool filtered = GetParam() % 2 == 0;
    FetchRequest request("Item");
    if (sorted) request.setSortDescriptors({SortDescriptor("rank")});
    if (filtered)
        request.setPredicate(Predicate::withBlock(
            [](const ManagedObject& o) { return o.valueForKey("rank").toLongLong() % 3 != 0; }));
    // A rank from 1 to 11, or none.
    const auto randomRank = [&] {
        const int r = static_cast<int>(random() % 12);
        return r == 0 ? QVariant() : QVariant(r);
    };
    std::vector<std::shared_ptr<ManagedObject>> live;
    int counter = 0;
    const auto addRandom = [&] {
        live.push_back(add(QString::number(counter++)));
        live.back()->setValue(randomRank(), "rank");
    };
    for (int i = 0; i < 8; ++i) addRandom();
    start(request);

    for (int turn = 0; turn < 40; ++turn) {
        for (int op = 0, ops = 1 + random() % 4; op < ops; ++op) {
            const unsigned kind = random() % 4;
            if (kind == 0 || live.empty()) {
                addRandom();
                continue;
            }
            const auto record = live[random() % live.size()];
            if (kind == 1) record->setValue(randomRank(), "rank");
            if (kind == 2) record->setValue(QString::number(random()), "note");
            if (kind == 3) {
                context().deleteObject(record);
                std::erase(live, record);
            }
        }
        context().processPendingChanges();
        const auto list = RecordingDelegate::listOf(*controller_);
        ASSERT_EQ(delegate_.mirror, list) << "turn " << turn;
        std::vector<ManagedObject*> expected;
        for (const auto& object : live)
            if (request.matches(*object)) expected.push_back(object.get());
        ASSERT_TRUE(
            std::is_permutation(list.begin(), list.end(), expected.begin(), expected.end()));
        for (std::size_t k = 1; sorted && k < list.size(); ++k)
            ASSERT_NE(fetched_results_ordering::moveComparison(request.sortDescriptors(),
                                                               *list[k - 1], *list[k]),
                      ComparisonResult::OrderedDescending)
                << "turn " << turn << " position " << k;
    }
}

INSTANTIATE_TEST_SUITE_P(ResultsController, RandomChanges, testing::Range(1, 13));

}  // namespace
}  // namespace clipmoor
