// What a hostile answer can cost: the parse of a large answer made of tiny entries runs in a
// child process whose peak memory is measured.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>

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

// Whether `work`, run alone in a child process, stays under `limit` bytes of growth of the
// child's peak resident memory (the child prints what it used when it does not).
bool staysUnderInChild(qint64 limit, const std::function<void()>& work) {
    const pid_t child = ::fork();
    if (child == 0) {
        const qint64 before = peakResidentBytes();
        work();
        const qint64 growth = peakResidentBytes() - before;
        if (growth >= limit)
            std::fprintf(stderr, "grew by %lld bytes\n", static_cast<long long>(growth));
        ::_exit(growth < limit ? 0 : 1);
    }
    int status = 0;
    return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

// "itag=1,itag=2,..." of about `bytes` in the first stream map: every entry a distinct stream
// number, almost none of them offered.
QByteArray answerOfTinyEntries(qsizetype bytes) {
    QByteArray map;
    for (int itag = 1; map.size() < bytes; ++itag)
        map += "itag%3D" + QByteArray::number(itag) + ',';
    return "status=ok&title=T&author=A&url_encoded_fmt_stream_map=" + map;
}

// The text is held a few times over (as read, decoded, as stream entries); a dictionary per
// entry would need hundreds of times the answer's size.
TEST(VideoInfoAnswerBoundTest, AnswerOfTinyEntriesParsesInMemoryOfTheOrderOfItsSize) {
    const QByteArray body = answerOfTinyEntries(2 * 1024 * 1024);
    EXPECT_TRUE(staysUnderInChild(24 * body.size(), [&body] {
        const auto [videos, error] = VXYouTubeExtractor::parseVideoInfoAnswer(body, "id");
        if (!videos || videos->size() != 4) ::_exit(2);
    })) << "the parse took too much memory, or did not keep the 4 offered streams";
}

}  // namespace
}  // namespace clipmoor
