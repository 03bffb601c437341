#include "platform/window_runtime.h"

#include "platform/files.h"

#include <algorithm>

namespace velkor {
namespace {

// Long loops hand the window its events at least this often: often enough that Stop
// and closing answer at once, and no more often, since each round repaints the
// growing result tree (at 5 ms that took a fifth of a scan of a photo-dense card).
constexpr auto kPumpInterval = std::chrono::milliseconds(20);
constexpr std::uint32_t kStepsPerClockRead = 64;

}  // namespace

std::string ChooseLanguage(const std::vector<std::string>& preferences) {
    for (const std::string& preference : preferences) {
        if (preference.rfind("en", 0) == 0) return "en";
        if (preference.rfind("zh", 0) == 0 || preference == "C" || preference.rfind("C.", 0) == 0 ||
            preference == "POSIX") {
            return "zh_CN";
        }
    }
    return "zh_CN";
}

std::vector<std::string> UserLanguagePreferences() {
    std::vector<std::string> preferences;
    const std::string languages = EnvironmentVariable("LANGUAGE");
    for (std::size_t from = 0; from < languages.size();) {
        const std::size_t colon = std::min(languages.find(':', from), languages.size());
        if (colon > from) preferences.push_back(languages.substr(from, colon - from));
        from = colon + 1;
    }
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const std::string value = EnvironmentVariable(variable);
        if (!value.empty()) preferences.push_back(value);
    }
    return preferences;
}

void DriveBox::Refresh() { Fill(ListVolumes()); }

bool DriveBox::RefreshIfChanged() {
    std::vector<VolumeInfo> volumes = ListVolumes();
    if (volumes == listed_) return false;
    Fill(std::move(volumes));
    return true;
}

std::optional<VolumeInfo> DriveBox::SelectedVolume() const {
    const std::string letter = SelectedLetter();
    for (const VolumeInfo& volume : listed_) {
        if (volume.letter == letter) return volume;
    }
    return std::nullopt;
}

void DriveBox::ListFirstImage() {
    Refresh();
    if (const std::optional<std::string> letter = LetterOfFirstImage()) SelectLetter(*letter);
}

void DriveBox::Fill(std::vector<VolumeInfo> volumes) {
    ShowVolumes(volumes, SelectedLetter());
    listed_ = std::move(volumes);
}

int TreeBox::DamagedCount() const {
    int damaged = 0;
    for (int i = 0; i < Count(); ++i) damaged += IsDamaged(i) ? 1 : 0;
    return damaged;
}

void TextStore::Clear() {
    text_.clear();
    lineStarts_.assign(1, 0);
}

void TextStore::Append(std::string_view text) {
    const std::size_t base = text_.size();
    text_.append(text);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n') lineStarts_.push_back(base + i + 1);
    }
}

std::string TextStore::Line(std::int64_t n) const {
    if (n < 0 || static_cast<std::uint64_t>(n) >= lineStarts_.size()) return {};
    const std::size_t begin = lineStarts_[static_cast<std::size_t>(n)];
    std::size_t end = static_cast<std::uint64_t>(n) + 1 < lineStarts_.size()
                          ? lineStarts_[static_cast<std::size_t>(n) + 1] - 1
                          : text_.size();
    if (end > begin && text_[end - 1] == '\r') --end;
    return text_.substr(begin, end - begin);
}

Message WhyNoPreview(PreviewOutcome outcome) {
    switch (outcome) {
        case PreviewOutcome::kTooLarge:
            return Words::tr("图片太大");
        case PreviewOutcome::kTooManyScans:
            return Words::tr("扫描次数过多");
        case PreviewOutcome::kTimedOut:
            return Words::tr("解码超时");
        case PreviewOutcome::kNotDecodable:
        case PreviewOutcome::kDecoded:
            break;
    }
    return Words::tr("不是可以解码的 JPEG");
}

void EventPump::Pump() {
    // Reading the clock on every step would cost more than the steps themselves.
    if (++calls_ % kStepsPerClockRead != 0) return;
    const auto now = std::chrono::steady_clock::now();
    if (now - last_ < kPumpInterval) return;
    PumpNow();
}

}  // namespace velkor
