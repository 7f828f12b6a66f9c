#pragma once

#include <QString>

#include <memory>

#include "platform/error.h"
#include "platform/object_store/managed_object_context.h"

namespace clipmoor {
class Video;
}

namespace clipmoor::bench {

// Gives record number `n` the contents a real download record has: stream facts, a long media
// address, a file name, byte counters, a state and, for paused downloads, resume data.
void fillVideo(Video& video, int n);

// Inserts `count` filled records after those already there and saves them in one save.
bool addVideos(ManagedObjectContext& context, int count, Error* error);

// The application's model with plain records in place of Video objects: the same entity,
// attributes and table, read without the records' own wake-up.
std::shared_ptr<const ManagedObjectModel> plainRecordModel();

// A context on the store file at `path` (made when missing) with `model` (by default the
// application's); none plus an error when the store cannot be opened.
std::unique_ptr<ManagedObjectContext> openContext(
    const QString& path, Error* error, std::shared_ptr<const ManagedObjectModel> model = {});

}  // namespace clipmoor::bench
