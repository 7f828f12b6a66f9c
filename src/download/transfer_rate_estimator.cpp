#include "download/transfer_rate_estimator.h"

#include <QCoreApplication>

#include <algorithm>
#include <chrono>
#include <cmath>

#include "platform/byte_count_formatter.h"

namespace clipmoor {

namespace {
// Reports closer together than this are merged, which bounds the history to about fifty.
constexpr qint64 kMergeMs = 100;
// Longer than anyone waits: the texts stop at "more than a day" well before.
constexpr double kLongestSeconds = 1e9;
constexpr qint64 kMinute = 60;
constexpr qint64 kHour = 60 * kMinute;
constexpr qint64 kDay = 24 * kHour;

QString tr(const char* text) {
    return QCoreApplication::translate("TransferRateEstimator", text);
}
}  // namespace

TransferRateEstimator::Clock TransferRateEstimator::steadyClock() {
    return [] {
        return static_cast<qint64>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                       std::chrono::steady_clock::now().time_since_epoch())
                                       .count());
    };
}

TransferRateEstimator::TransferRateEstimator(Clock clock) : clock_(std::move(clock)) {}

void TransferRateEstimator::reset() {
    samples_.clear();
    firstReportMs_ = 0;
    lastGrowthMs_ = 0;
    expected_ = 0;
}

void TransferRateEstimator::addProgress(qint64 written, qint64 expected) {
    const qint64 now = clock_();
    if (!samples_.empty() && written < samples_.back().bytes) reset();
    expected_ = expected;
    if (samples_.empty()) {
        firstReportMs_ = now;
        lastGrowthMs_ = now;
        samples_.push_back({now, written});
        return;
    }
    if (written > samples_.back().bytes) lastGrowthMs_ = now;
    const std::size_t count = samples_.size();
    if (count >= 2 && now - samples_[count - 2].timeMs < kMergeMs)
        samples_.back() = {now, written};
    else
        samples_.push_back({now, written});
    // One sample at or before the window's start is kept: the window begins between it and the
    // next one.
    const qint64 windowStart = now - kWindowMs;
    auto firstNeeded = samples_.begin();
    while (std::next(firstNeeded) != samples_.end() &&
           std::next(firstNeeded)->timeMs <= windowStart)
        ++firstNeeded;
    samples_.erase(samples_.begin(), firstNeeded);
}

double TransferRateEstimator::bytesAt(qint64 timeMs) const {
    if (timeMs <= samples_.front().timeMs) return static_cast<double>(samples_.front().bytes);
    if (timeMs >= samples_.back().timeMs) return static_cast<double>(samples_.back().bytes);
    const auto after =
        std::upper_bound(samples_.begin(), samples_.end(), timeMs,
                         [](qint64 time, const Sample& sample) { return time < sample.timeMs; });
    const Sample& right = *after;
    const Sample& left = *std::prev(after);
    const double fraction =
        static_cast<double>(timeMs - left.timeMs) / static_cast<double>(right.timeMs - left.timeMs);
    return static_cast<double>(left.bytes) +
           fraction * static_cast<double>(right.bytes - left.bytes);
}

std::optional<double> TransferRateEstimator::bytesPerSecond() const {
    if (samples_.empty()) return std::nullopt;
    const qint64 now = clock_();
    if (now - firstReportMs_ < kMinimumHistoryMs) return std::nullopt;
    const qint64 windowStart = std::max(firstReportMs_, now - kWindowMs);
    const double received = static_cast<double>(samples_.back().bytes) - bytesAt(windowStart);
    return std::max(0.0, received) * 1000.0 / static_cast<double>(now - windowStart);
}

bool TransferRateEstimator::isStalled() const {
    return !samples_.empty() && clock_() - lastGrowthMs_ >= kStallMs;
}

QString TransferRateEstimator::statusText() const {
    if (samples_.empty()) return {};
    if (isStalled()) return tr("Stalled");
    const std::optional<double> speed = bytesPerSecond();
    if (!speed || *speed <= 0) return {};
    const QString rate = speedText(*speed);
    const qint64 written = samples_.back().bytes;
    if (expected_ < 1 || written > expected_) return rate;
    const double seconds =
        std::min(std::ceil(static_cast<double>(expected_ - written) / *speed), kLongestSeconds);
    return tr("%1 \u00b7 %2 left").arg(rate, timeLeftText(static_cast<qint64>(seconds)));
}

QString TransferRateEstimator::speedText(double bytesPerSecond) {
    const double bounded = std::clamp(bytesPerSecond, 0.0, 9e18);
    return tr("%1/s").arg(stringFromByteCount(std::llround(bounded)));
}

QString TransferRateEstimator::timeLeftText(qint64 seconds) {
    if (seconds < 10) return tr("a few seconds");
    if (seconds < kMinute) {
        const qint64 rounded = (seconds + 2) / 5 * 5;
        if (rounded < kMinute) return tr("%1 s").arg(rounded);
        seconds = kMinute;
    }
    const qint64 minutes = (seconds + kMinute / 2) / kMinute;
    if (minutes < 60) return tr("%1 min").arg(minutes);
    if (seconds >= kDay - kMinute / 2) return tr("more than a day");
    const qint64 hours = minutes / 60;
    const qint64 rest = minutes % 60;
    if (rest == 0) return tr("%1 h").arg(hours);
    return tr("%1 h %2 min").arg(hours).arg(rest);
}

}  // namespace clipmoor
