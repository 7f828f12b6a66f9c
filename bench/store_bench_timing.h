#pragma once

#include <time.h>

#include <algorithm>
#include <chrono>
#include <vector>

namespace clipmoor::bench {

// One measurement: elapsed wall-clock time and the CPU time spent on it, in milliseconds.
struct Sample {
    double wallMs = 0;
    double cpuMs = 0;
};

// Measures the calling thread from construction to elapsed().
class Stopwatch {
public:
    Stopwatch() : wall_(std::chrono::steady_clock::now()), cpu_(threadCpuMs()) {}
    Sample elapsed() const {
        const std::chrono::duration<double, std::milli> wall =
            std::chrono::steady_clock::now() - wall_;
        return {wall.count(), threadCpuMs() - cpu_};
    }

private:
    static double threadCpuMs() {
        timespec now{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
        return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
    }
    std::chrono::steady_clock::time_point wall_;
    double cpu_;
};

inline double median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

inline Sample median(const std::vector<Sample>& samples) {
    std::vector<double> wall, cpu;
    for (const Sample& s : samples) {
        wall.push_back(s.wallMs);
        cpu.push_back(s.cpuMs);
    }
    return {median(wall), median(cpu)};
}

}  // namespace clipmoor::bench
