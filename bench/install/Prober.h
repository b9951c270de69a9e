// Shared by the installer's benchmarks: how long a window takes to answer a sent message, asked
// from another thread every few milliseconds while the window works.
#pragma once

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace bench {

using Clock = std::chrono::steady_clock;

inline double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// Sends WM_NULL to `target` every `everyMs` and keeps every answer's delay until stopped.
class Prober {
public:
    Prober(HWND target, DWORD everyMs)
        : thread_([this, target, everyMs] {
              while (!stop_) {
                  const auto t0 = Clock::now();
                  DWORD_PTR r = 0;
                  SendMessageTimeoutW(target, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &r);
                  samples_.push_back(Ms(Clock::now() - t0));
                  asked_.push_back(t0);
                  Sleep(everyMs);
              }
          }) {}
    ~Prober() { Stop(); }
    Prober(const Prober&) = delete;
    Prober& operator=(const Prober&) = delete;
    void Stop() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
    }
    // Read once stopped.
    double Worst() const {
        return samples_.empty() ? 0 : *std::max_element(samples_.begin(), samples_.end());
    }
    // The longest answer to a message sent between `from` and `to`.
    double Worst(Clock::time_point from, Clock::time_point to) const {
        double worst = 0;
        for (size_t i = 0; i < samples_.size(); ++i)
            if (asked_[i] >= from && asked_[i] <= to) worst = std::max(worst, samples_[i]);
        return worst;
    }
    size_t Count() const { return samples_.size(); }
    double Percentile(double p) const {
        if (samples_.empty()) return 0;
        auto s = samples_;
        std::sort(s.begin(), s.end());
        return s[static_cast<size_t>(p * static_cast<double>(s.size() - 1))];
    }

private:
    std::atomic<bool> stop_{false};
    std::vector<double> samples_;
    std::vector<Clock::time_point> asked_;
    std::thread thread_;  // last: it starts once the members it uses exist
};

}  // namespace bench
