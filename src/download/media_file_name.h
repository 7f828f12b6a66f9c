#pragma once

#include <QString>

namespace clipmoor {

// File names of finished media files. A name is the title followed by a suffix such as
// "(720p)"; the extension is added by the caller. Names must be usable as one path component:
// "/" and control characters (NUL included) become "-", and the whole name with "." and the
// extension fits in the 255 bytes of UTF-8 that Linux file systems allow.

inline constexpr int kMaximumFileNameBytes = 255;

// "/" and control characters replaced by "-".
QString replacingUnsafeFileNameCharacters(const QString& text);

// The name for `title` + `suffix`: cleaned, with the title shortened on a character boundary
// (never inside a surrogate pair or before a combining mark) so that the suffix always stays.
QString mediaFileNameForTitle(const QString& title, const QString& suffix,
                              const QString& extension);

// The same rules for a name made earlier (for instance read from the store): a trailing
// parenthesised group is kept as the suffix when the name must be shortened.
QString cleanedMediaFileName(const QString& fileName, const QString& extension);

}  // namespace clipmoor
