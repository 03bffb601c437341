#pragma once
// The scan progress shown by the bar and the percentage label on every timer tick.
#include "platform/message.h"
#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>


namespace velkor {

class Label;
class ProgressBar;

// A percentage rounded to two decimals as decimal text with "%": "25%", "33.33%".
std::string PercentText(double percentage);

// Shows ScanPosition of DeviceSectors on bar and label; "完成" once past 100.
void ShowScanProgress(ProgressBar& bar, Label& label, std::int64_t scanPosition, std::int64_t deviceSectors);

// Shows entry i of n of a save on bar and label.
void ShowSaveProgress(ProgressBar& bar, Label& label, std::int64_t i, std::int64_t n);

// The recent rate of a count that grows (sectors scanned, bytes saved), from the
// samples of the last kRateWindow, and how long the rest will take at that rate.
class RateMeter {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::seconds kRateWindow{10};

    void Restart() { samples_.clear(); }
    void Note(std::int64_t done, Clock::time_point at = Clock::now());
    // Per second; nothing until the samples span a second with the count growing.
    std::optional<double> PerSecond() const;
    std::optional<std::chrono::seconds> TimeLeft(std::int64_t remaining) const;

private:
    struct Sample {
        Clock::time_point at;
        std::int64_t done;
    };
    std::deque<Sample> samples_;
};

// "约 2 小时 5 分", "约 3 分 07 秒", "约 12 秒", in the window's language.
Message TimeLeftText(std::chrono::seconds left);

// The status bar's words for a running scan or save: the read speed and the time left,
// or that they are still being worked out.
Message ScanRateText(const RateMeter& sectors, std::int64_t sectorsLeft);
Message SaveRateText(const RateMeter& bytes, std::int64_t bytesLeft, std::int64_t saved, std::int64_t total);

}  // namespace velkor
