// Speed and time left from progress reports, read at chosen moments of an injected clock.
#include <gtest/gtest.h>

#include "download/transfer_rate_estimator.h"

namespace clipmoor::test {
namespace {

constexpr qint64 kMB = 1000 * 1000;

// Reports every `stepMs` from 0 to `untilMs` at `bytesPerSecond` after `startBytes`, read at
// `readAtMs`.
struct Case {
    const char* name;
    qint64 stepMs, untilMs, bytesPerSecond, expected, readAtMs;
    const char* text;
    qint64 startBytes = 0;
    bool restartAfter = false;  // then one report of 0 bytes, a step after the last
};

TEST(TransferRateEstimatorTest, StatusTextFollowsTheLastFiveSeconds) {
    const Case cases[] = {
        {"steady rate, a minute left", 200, 8000, 2400000, 19200000 + 144 * kMB, 8000,
         "2.4 MB/s · 1 min left"},
        {"reports many times a second are merged", 10, 10000, kMB, 190 * kMB, 10000,
         "1 MB/s · 3 min left"},
        {"too little history yet", 100, 500, kMB, 55 * kMB, 500, ""},
        {"one report and nothing for two seconds", 1, 0, 0, 55 * kMB, 2000, ""},
        {"a stall slows the speed down over the window", 250, 10000, kMB, 55 * kMB, 12500,
         "500 KB/s · 2 min left"},
        {"five seconds without a byte is a stall", 250, 10000, kMB, 55 * kMB, 15000, "Stalled"},
        {"an unknown total gives the speed alone", 250, 10000, kMB, -1, 10000, "1 MB/s"},
        {"a resumed transfer counts only the new bytes", 250, 10000, kMB, 545 * kMB, 10000,
         "1 MB/s · 35 s left", 500 * kMB},
        {"a restart from zero starts the estimate over", 250, 10000, kMB, 55 * kMB, 10500, "", 0,
         true},
        {"a slow transfer of a huge file", 250, 10000, 1000, 2000LL * 1000 * kMB, 10000,
         "1 KB/s · more than a day left"},
    };
    for (const Case& c : cases) {
        qint64 now = 0;
        TransferRateEstimator estimator([&now] { return now; });
        for (now = 0; now <= c.untilMs; now += c.stepMs)
            estimator.addProgress(c.startBytes + c.bytesPerSecond * now / 1000, c.expected);
        if (c.restartAfter) estimator.addProgress(0, c.expected);
        now = c.readAtMs;
        EXPECT_EQ(estimator.statusText(), QString::fromUtf8(c.text)) << c.name;
    }
}

TEST(TransferRateEstimatorTest, TimeLeftIsRoundedAsPeopleSayIt) {
    const std::pair<qint64, const char*> cases[] = {
        {-5, "a few seconds"}, {0, "a few seconds"},   {9, "a few seconds"},
        {10, "10 s"},          {12, "10 s"},           {13, "15 s"},
        {44, "45 s"},          {57, "55 s"},           {58, "1 min"},
        {89, "1 min"},         {90, "2 min"},          {179, "3 min"},
        {3569, "59 min"},      {3570, "1 h"},          {3900, "1 h 5 min"},
        {7200, "2 h"},         {86369, "23 h 59 min"}, {86370, "more than a day"},
    };
    for (const auto& [seconds, text] : cases)
        EXPECT_EQ(TransferRateEstimator::timeLeftText(seconds), QString::fromUtf8(text)) << seconds;
}

}  // namespace
}  // namespace clipmoor::test
