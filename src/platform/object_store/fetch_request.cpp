#include "platform/object_store/fetch_request.h"

#include "platform/object_store/managed_object.h"

namespace clipmoor {

namespace {

ComparisonResult fromOrdering(QPartialOrdering ordering) {
    if (ordering == QPartialOrdering::Less) return ComparisonResult::OrderedAscending;
    if (ordering == QPartialOrdering::Greater) return ComparisonResult::OrderedDescending;
    return ComparisonResult::OrderedSame;
}

ComparisonResult reversed(ComparisonResult result) {
    return static_cast<ComparisonResult>(-static_cast<int>(result));
}

}  // namespace

Predicate Predicate::withBlock(Test test, QString predicateFormat) {
    return Predicate(std::move(test), std::move(predicateFormat));
}

Predicate Predicate::keyPathEquals(const QString& keyPath, const QVariant& value) {
    return Predicate(
        [keyPath, value](const ManagedObject& object) {
            return SortDescriptor::compareValues(object.valueForKeyPath(keyPath), value) ==
                   ComparisonResult::OrderedSame;
        },
        QStringLiteral("%1 == %2").arg(keyPath, value.toString()));
}

SortDescriptor::SortDescriptor(QString key, bool ascending, Comparator comparator)
    : key_(std::move(key)), ascending_(ascending), comparator_(std::move(comparator)) {}

ComparisonResult SortDescriptor::compareObject(const ManagedObject& a,
                                               const ManagedObject& b) const {
    const QVariant left = a.valueForKeyPath(key_);
    const QVariant right = b.valueForKeyPath(key_);
    const ComparisonResult result =
        comparator_ ? comparator_(left, right) : compareValues(left, right);
    return ascending_ ? result : reversed(result);
}

ComparisonResult SortDescriptor::compareValues(const QVariant& a, const QVariant& b) {
    if (!a.isValid() || !b.isValid()) {
        if (a.isValid() == b.isValid()) return ComparisonResult::OrderedSame;
        return a.isValid() ? ComparisonResult::OrderedDescending
                           : ComparisonResult::OrderedAscending;
    }
    if (a.metaType().id() == QMetaType::QString && b.metaType().id() == QMetaType::QString) {
        const int order = a.toString().compare(b.toString());
        return order < 0   ? ComparisonResult::OrderedAscending
               : order > 0 ? ComparisonResult::OrderedDescending
                           : ComparisonResult::OrderedSame;
    }
    return fromOrdering(QVariant::compare(a, b));
}

}  // namespace clipmoor
