// What a hostile answer can cost: the parse of a large answer made of tiny entries runs in a
// child process whose peak memory is measured.
#include <gtest/gtest.h>

#include <functional>
#include <optional>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "extractor/vx_youtube_extractor.h"

namespace clipmoor {
namespace {

// The process's peak resident memory so far. A forked child's peak starts at its size when it
// was forked.
qint64 peakResidentBytes() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return qint64(usage.ru_maxrss) * 1024;  // the kernel counts in kilobytes
}

// How much `work` raises the peak resident memory of a child process that runs it alone.
std::optional<qint64> peakMemoryGrowthInChild(const std::function<void()>& work) {
    int channel[2];
    if (::pipe(channel) != 0) return std::nullopt;
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(channel[0]);
        const qint64 before = peakResidentBytes();
        work();
        const qint64 growth = peakResidentBytes() - before;
        const bool sent = ::write(channel[1], &growth, sizeof growth) == sizeof growth;
        ::_exit(sent ? 0 : 1);
    }
    ::close(channel[1]);
    qint64 growth = -1;
    const bool received = child > 0 && ::read(channel[0], &growth, sizeof growth) == sizeof growth;
    ::close(channel[0]);
    int status = 0;
    if (child > 0) ::waitpid(child, &status, 0);
    if (!received || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
    return growth;
}

// "itag=1,itag=2,..." of about `bytes` in the first stream map: every entry a distinct stream
// number, almost none of them offered.
QByteArray answerOfTinyEntries(qsizetype bytes) {
    QByteArray map;
    for (int itag = 1; map.size() < bytes; ++itag)
        map += "itag%3D" + QByteArray::number(itag) + ',';
    return "status=ok&title=T&author=A&url_encoded_fmt_stream_map=" + map;
}

TEST(VideoInfoAnswerBoundTest, AnswerOfTinyEntriesParsesInMemoryOfTheOrderOfItsSize) {
    const QByteArray body = answerOfTinyEntries(2 * 1024 * 1024);
    const std::optional<qint64> growth = peakMemoryGrowthInChild([&body] {
        const auto [videos, error] = VXYouTubeExtractor::parseVideoInfoAnswer(body, "id");
        if (!videos || videos->size() != 4) ::_exit(2);
    });
    ASSERT_TRUE(growth) << "the child could not measure, or the parse did not keep 4 streams";
    // The text is held a few times over (as read, decoded, as stream entries); a dictionary per
    // entry would need hundreds of times the answer's size.
    EXPECT_LT(*growth, 24 * body.size()) << *growth << " bytes for " << body.size();
}

}  // namespace
}  // namespace clipmoor
