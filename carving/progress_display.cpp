#include "carving/progress_display.h"

#include <algorithm>
#include <cmath>

#include "platform/window_runtime.h"

namespace velkor {
namespace {

double RoundToHundredths(double value) { return std::round(value * 100.0) / 100.0; }

void ShowPercentage(ProgressBar& bar, Label& label, double percentage) {
    bar.SetValue(static_cast<int>(percentage));
    label.SetText(Message(PercentText(percentage)));
}

}  // namespace

std::string PercentText(double percentage) {
    std::string text = FixedText(RoundToHundredths(percentage), 2);
    while (text.back() == '0') text.pop_back();
    if (text.back() == '.') text.pop_back();
    return text + "%";
}

void ShowScanProgress(ProgressBar& bar, Label& label, std::int64_t scanPosition, std::int64_t deviceSectors) {
    // A drive of unknown size has no progress to show; the timer keeps running.
    if (deviceSectors <= 0) {
        ShowPercentage(bar, label, 0.0);
        return;
    }
    const double percentage = static_cast<double>(scanPosition) / (static_cast<double>(deviceSectors) / 100.0);
    if (RoundToHundredths(percentage) > 100.0 + 0.0000001) {
        label.SetText(Words::tr("完成"));
        bar.SetValue(100);
        return;
    }
    ShowPercentage(bar, label, percentage);
}

void ShowSaveProgress(ProgressBar& bar, Label& label, std::int64_t i, std::int64_t n) {
    ShowPercentage(bar, label, static_cast<double>(i) / (static_cast<double>(n) / 100.0));
}

void RateMeter::Note(std::int64_t done, Clock::time_point at) {
    if (!samples_.empty() && done < samples_.back().done) samples_.clear();  // counting began again
    samples_.push_back({at, done});
    // The oldest sample kept lies just beyond the window, so the rate spans all of it.
    while (samples_.size() > 2 && at - samples_[1].at >= kRateWindow) samples_.pop_front();
}

std::optional<double> RateMeter::PerSecond() const {
    if (samples_.size() < 2) return std::nullopt;
    const Sample& first = samples_.front();
    const Sample& last = samples_.back();
    const double seconds = std::chrono::duration<double>(last.at - first.at).count();
    if (seconds < 1.0 || last.done <= first.done) return std::nullopt;
    return static_cast<double>(last.done - first.done) / seconds;
}

std::optional<std::chrono::seconds> RateMeter::TimeLeft(std::int64_t remaining) const {
    const std::optional<double> rate = PerSecond();
    if (!rate) return std::nullopt;
    return std::chrono::seconds(static_cast<std::int64_t>(std::ceil(static_cast<double>(std::max<std::int64_t>(remaining, 0)) / *rate)));
}

Message TimeLeftText(std::chrono::seconds left) {
    const std::int64_t total = left.count();
    const std::int64_t hours = total / 3600;
    const std::int64_t minutes = total % 3600 / 60;
    const std::int64_t seconds = total % 60;
    if (hours > 0) return Words::tr("约 %1 小时 %2 分").Arg(hours).Arg(minutes);
    if (minutes > 0) return Words::tr("约 %1 分 %2 秒").Arg(minutes).Padded(seconds, 2, '0');
    return Words::tr("约 %1 秒").Arg(seconds);
}

Message ScanRateText(const RateMeter& sectors, std::int64_t sectorsLeft) {
    const std::optional<double> rate = sectors.PerSecond();
    if (!rate) return Words::tr("正在估算读取速度");
    const double megabytes = *rate * 512.0 / 1e6;
    return Words::tr("读取 %1 MB/s，还需%2").Fixed(megabytes, 1).Arg(TimeLeftText(*sectors.TimeLeft(sectorsLeft)));
}

Message SaveRateText(const RateMeter& bytes, std::int64_t bytesLeft, std::int64_t saved, std::int64_t total) {
    const Message files = Words::tr("已保存 %1 / %2 张").Arg(saved).Arg(total);
    const std::optional<std::chrono::seconds> left = bytes.TimeLeft(bytesLeft);
    return left ? Words::tr("%1，还需%2").Arg(files, TimeLeftText(*left)) : files;
}

}  // namespace velkor
