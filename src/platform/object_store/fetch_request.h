#pragma once

#include <QString>
#include <QVariant>

#include <functional>
#include <optional>
#include <vector>

namespace clipmoor {

class ManagedObject;

enum class ComparisonResult { OrderedAscending = -1, OrderedSame = 0, OrderedDescending = 1 };

// A condition on one record.
class Predicate {
public:
    using Test = std::function<bool(const ManagedObject&)>;

    static Predicate withBlock(Test test, QString predicateFormat = QStringLiteral("BLOCK"));
    // True when the value at `keyPath` equals `value` (both missing counts as equal).
    static Predicate keyPathEquals(const QString& keyPath, const QVariant& value);

    bool evaluateWithObject(const ManagedObject& object) const { return test_(object); }
    const QString& predicateFormat() const { return predicateFormat_; }

private:
    Predicate(Test test, QString format) : test_(std::move(test)), predicateFormat_(format) {}
    Test test_;
    QString predicateFormat_;
};

// An ordering by the value at one key path.
class SortDescriptor {
public:
    using Comparator = std::function<ComparisonResult(const QVariant&, const QVariant&)>;

    // Without a comparator values are compared by compareValues.
    explicit SortDescriptor(QString key, bool ascending = true, Comparator comparator = {});

    const QString& key() const { return key_; }
    bool ascending() const { return ascending_; }

    // The records' values at key(), compared and then reversed for a descending order.
    ComparisonResult compareObject(const ManagedObject& a, const ManagedObject& b) const;

    // The natural order: a missing value before any present one, then numbers by value, text
    // by code points, and other values by their type's own order.
    static ComparisonResult compareValues(const QVariant& a, const QVariant& b);

private:
    QString key_;
    bool ascending_;
    Comparator comparator_;
};

// Which records a fetch returns: those of an entity (and its sub-entities) that match the
// predicate, ordered by the sort descriptors (the store's order where they leave a tie or
// there are none), at most fetchLimit of them (0: no limit).
class FetchRequest {
public:
    explicit FetchRequest(QString entityName) : entityName_(std::move(entityName)) {}
    static FetchRequest fetchRequestWithEntityName(const QString& entityName) {
        return FetchRequest(entityName);
    }

    const QString& entityName() const { return entityName_; }

    const std::optional<Predicate>& predicate() const { return predicate_; }
    void setPredicate(std::optional<Predicate> predicate) { predicate_ = std::move(predicate); }

    const std::vector<SortDescriptor>& sortDescriptors() const { return sortDescriptors_; }
    void setSortDescriptors(std::vector<SortDescriptor> descriptors) {
        sortDescriptors_ = std::move(descriptors);
    }

    quint64 fetchLimit() const { return fetchLimit_; }
    void setFetchLimit(quint64 limit) { fetchLimit_ = limit; }

    bool matches(const ManagedObject& object) const {
        return !predicate_ || predicate_->evaluateWithObject(object);
    }

private:
    QString entityName_;
    std::optional<Predicate> predicate_;
    std::vector<SortDescriptor> sortDescriptors_;
    quint64 fetchLimit_ = 0;
};

}  // namespace clipmoor
