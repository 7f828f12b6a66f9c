#include "player_media.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>

#include <gtest/gtest.h>

namespace clipmoor::test {

namespace {
QString make(const QString& name, const QStringList& ffmpegArguments) {
    const QString folder = QStringLiteral(CLIPMOOR_TEST_MEDIA_DIR);
    QDir().mkpath(folder);
    const QString path = folder + QLatin1Char('/') + name;
    if (QFileInfo(path).size() > 0) return path;
    const QString partial =
        QStringLiteral("%1.%2.part").arg(path).arg(QCoreApplication::applicationPid());
    if (ffmpegArguments.isEmpty()) {
        QFile file(partial);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        QByteArray bytes(64 * 1024, Qt::Uninitialized);
        QRandomGenerator generator(7);
        generator.fillRange(reinterpret_cast<quint32*>(bytes.data()), bytes.size() / 4);
        file.write(bytes);
    } else {
        QProcess ffmpeg;
        QStringList arguments{"-v", "error", "-y"};
        arguments << ffmpegArguments << "-f"
                  << "mp4" << partial;
        ffmpeg.start(QStringLiteral("ffmpeg"), arguments);
        const bool finished = ffmpeg.waitForFinished(120000);
        EXPECT_TRUE(finished && ffmpeg.exitCode() == 0)
            << "ffmpeg failed: " << ffmpeg.readAllStandardError().toStdString();
    }
    QFile::rename(partial, path);  // another process may have won; its file is as good
    QFile::remove(partial);
    return path;
}

QStringList video(const QString& size) {
    return {"-f",      "lavfi",     "-i",       "testsrc2=size=" + size + ":rate=25",
            "-f",      "lavfi",     "-i",       "sine=frequency=440",
            "-t",      "4",         "-c:v",     "libx264",
            "-preset", "ultrafast", "-pix_fmt", "yuv420p",
            "-c:a",    "aac",       "-shortest"};
}
}  // namespace

QString PlayerMedia::video720() {
    return make(QStringLiteral("video-1280x720-10s.mp4"), video(QStringLiteral("1280x720")));
}

QString PlayerMedia::video360() {
    return make(QStringLiteral("video-640x360-10s.mp4"), video(QStringLiteral("640x360")));
}

QString PlayerMedia::audioOnly() {
    return make(QStringLiteral("audio-only-10s.m4a"),
                {"-f", "lavfi", "-i", "sine=frequency=440", "-t", "10", "-c:a", "aac"});
}

QString PlayerMedia::corrupt() {
    return make(QStringLiteral("corrupt.mp4"), {});
}

}  // namespace clipmoor::test
