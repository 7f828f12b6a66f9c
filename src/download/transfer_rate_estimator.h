#pragma once

#include <QString>
#include <QtGlobal>

#include <functional>
#include <optional>
#include <vector>

namespace clipmoor {

// The speed and time left of one transfer, from the running totals of its progress reports.
//
// The speed is what arrived over the last five seconds (or since the first report, when that is
// more recent), so a burst or a gap between reports moves it gently; a transfer that received
// nothing for five seconds is stalled. Fewer than a second of history gives no speed yet.
// Time comes from a clock given at construction (monotonic milliseconds), so the estimate is a
// plain function of the reports and the time they are read. Not thread-safe: one owner thread.
class TransferRateEstimator {
public:
    using Clock = std::function<qint64()>;
    static constexpr qint64 kWindowMs = 5000;
    static constexpr qint64 kMinimumHistoryMs = 1000;
    static constexpr qint64 kStallMs = 5000;

    // The process's monotonic clock in milliseconds.
    static Clock steadyClock();

    explicit TransferRateEstimator(Clock clock = steadyClock());

    // A report: `written` bytes so far of `expected` (below 1: the total is unknown). A total
    // below the previous one means the transfer started over, and so does the estimate.
    void addProgress(qint64 written, qint64 expected);
    void reset();

    // Bytes a second over the window; none while less than a second of history is known.
    std::optional<double> bytesPerSecond() const;
    // True once nothing arrived for kStallMs since the first report.
    bool isStalled() const;
    // "2.4 MB/s · 1 min left"; "2.4 MB/s" when the total is unknown; "Stalled"; empty while the
    // speed is not known yet or is still 0.
    QString statusText() const;

    // "2.4 MB/s", in the decimal units of the size texts.
    static QString speedText(double bytesPerSecond);
    // Time left as people say it: "a few seconds" below 10 s, "45 s" (to 5 s) below a minute,
    // "3 min" below an hour, "1 h 5 min" below a day, then "more than a day".
    static QString timeLeftText(qint64 seconds);

private:
    struct Sample {
        qint64 timeMs;
        qint64 bytes;
    };
    // The bytes received by `timeMs`, read off the samples (linear between two of them).
    double bytesAt(qint64 timeMs) const;

    Clock clock_;
    std::vector<Sample> samples_;  // oldest first; at most one older than the window
    qint64 firstReportMs_ = 0;
    qint64 lastGrowthMs_ = 0;
    qint64 expected_ = 0;
};

}  // namespace clipmoor
