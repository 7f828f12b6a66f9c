#pragma once

#include <QString>

namespace clipmoor::test {

// Media files made with ffmpeg the first time a test asks for them, kept in the build tree and
// shared by the test processes (each file appears in one rename, so a parallel test never sees
// half of one). They last long enough to be still playing at the end of a slow test run.
struct PlayerMedia {
    static QString video720();   // 1280x720 H.264/AAC mp4, 10 seconds
    static QString video360();   // 640x360 H.264/AAC mp4, 10 seconds
    static QString audioOnly();  // AAC m4a without a picture, 10 seconds
    static QString corrupt();    // random bytes named .mp4
};

}  // namespace clipmoor::test
