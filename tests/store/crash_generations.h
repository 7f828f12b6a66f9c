#pragma once

#include <QString>

#include <map>
#include <memory>
#include <vector>

#include "download/video.h"
#include "platform/object_store/managed_object_context.h"

// What the crash test's writer keeps in the store. After save number g (a "generation") the
// store holds exactly the records numbered max(1, g - kWindow + 1) to g: each save inserts
// record g, deletes record g - kWindow and rewrites the byte count and resume data of all the
// others. Any mix of two generations, a lost record or a half-written one is told apart from
// every whole generation.
namespace clipmoor::test::crash {

inline constexpr int kWindow = 12;

// The writer's records by number.
using Records = std::map<int, std::shared_ptr<Video>>;

// The records of the context's store by number; false when one has no number.
bool readRecords(ManagedObjectContext& context, Records* records, QString* failure);

// The newest record's number, the generation the records belong to if they are whole; 0 when
// there are none.
int generationOf(const Records& records);

// Makes the changes that turn generation `generation` - 1 into `generation`.
void advance(ManagedObjectContext& context, Records& records, int generation);

// Empty when the records are exactly generation `generation`; otherwise the first difference.
QString differenceFrom(const Records& records, int generation);

}  // namespace clipmoor::test::crash
