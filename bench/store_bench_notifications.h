#pragma once

#include <QString>

namespace clipmoor::bench {

// Median wall-clock cost, in microseconds, of one change notification of the context as the
// results controller processes it, for a list of a given size.
struct NotificationCosts {
    double insertUs = 0;  // one new record
    double deleteUs = 0;  // one listed record deleted
    double updateUs = 0;  // one listed record changed
    double allUs = 0;     // one notification with one of each
};

// Builds a store of `listSize` records in `folder`, fetches them through a results controller
// with a delegate that hears every event, and times `samples` notifications of each kind.
// The deleted and changed records are drawn at random positions of the list.
bool measureNotifications(const QString& folder, int listSize, int samples,
                          NotificationCosts* costs, QString* failure);

}  // namespace clipmoor::bench
