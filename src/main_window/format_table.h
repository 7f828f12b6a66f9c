#pragma once

#include <QString>
#include <QStringList>

#include <array>

namespace clipmoor {

// The formats the pop-up offers, in pop-up order, and the stream each one stands for.
struct FormatEntry {
    const char* title;
    const char* itag;
};

inline constexpr std::array<FormatEntry, 4> kFormatTable{{
    {"mp4 720p", "22"},
    {"mp4 360p", "18"},
    {"mp4 240p", "36"},
    {"mp4 Audio", "140"},
}};

inline QStringList formatTitles() {
    QStringList titles;
    for (const FormatEntry& entry : kFormatTable) titles.append(QString::fromLatin1(entry.title));
    return titles;
}

}  // namespace clipmoor
