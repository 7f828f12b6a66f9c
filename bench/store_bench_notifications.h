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

// Wall-clock milliseconds for the one notification that deletes every record of a list of
// `listSize` (as clearing the download list does), processed by the results controller.
bool measureClearing(const QString& folder, int listSize, double* milliseconds, QString* failure);

}  // namespace clipmoor::bench
