#pragma once

#include <memory>

#include "platform/object_store/managed_object_model.h"

namespace clipmoor {

inline constexpr const char* kClipmoorModelName = "ClipmoorCDModel";
inline constexpr const char* kVideoEntityName = "Video";

// The application's data model "ClipmoorCDModel": one entity, "Video", whose records are
// Video objects, destroyed on the main thread whichever thread lets go of them last. Built
// once and shared.
std::shared_ptr<const ManagedObjectModel> loadClipmoorModel();

}  // namespace clipmoor
