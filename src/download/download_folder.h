#pragma once

#include <QString>

namespace clipmoor {

inline constexpr const char* kClipmoorMediaDownloadPathKey = "ClipmoorMediaDownloadPath";

// The user's Downloads folder joined with "Clipmoor" (the home folder's "Downloads" when the
// desktop names none).
QString defaultMediaDownloadPath();

// The folder finished files go to: the setting "ClipmoorMediaDownloadPath". A setting that is
// empty or not an absolute path names no usable folder (finished files would land in the file
// system's root or wherever the program was started); the default folder is used instead, and
// the setting itself is left as it is.
QString mediaDownloadFolder();

}  // namespace clipmoor
