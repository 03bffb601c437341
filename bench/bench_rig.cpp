#include "bench/bench_rig.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <random>
#include <stdexcept>

#include "device/scan_state.h"
#include "device/partition_locator.h"
#include "platform/drive_table.h"
#include "platform/files.h"

namespace velkor::bench {

double Seconds(std::chrono::steady_clock::duration duration) {
    return std::chrono::duration<double>(duration).count();
}

double MedianMs(std::vector<double> samples) {
    if (samples.empty()) return 0;
    std::sort(samples.begin(), samples.end());
    return samples[samples.size() / 2] * 1000.0;
}

Rig::QtBinding::QtBinding() {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    if (!BindWindowRuntime()) throw std::runtime_error("no window runtime");
}

Rig::Rig(const std::string& image) {
    testing::CopyDeliverable("picvet", program_.Path());
    OverrideProgramDirectory(program_.Path());
    ArrangeDriveTable({{0, image}}, {{.letter = "C", .source = image, .diskNumber = 0}});
    window_ = std::make_unique<QtWindow>();
    auto* bar = new QtProgressBar(window_.get());
    tree_ = new QtTreeBox(window_.get());
    auto* index = new QtTextStore(window_.get());
    scan_ = {window_.get(), new QtButton(ToQString(ScanCaption()), window_.get()), new QtDriveBox(window_.get()), bar, tree_,
             index, new QtPictureBox(window_.get())};
    auto* timer = new QtTimer(window_.get());
    save_ = {window_.get(), tree_, index, new QtDirectoryEditBox(window_.get()), bar, new QtLabel(window_.get()), timer};
    SelectDriveLetter("C");
}

Rig::~Rig() {
    OverrideProgramDirectory("");
    UseDiscoveredDriveTable();
}

double Rig::Scan() {
    answerer_.messages.clear();
    const auto begin = std::chrono::steady_clock::now();
    ScanButtonAction(scan_);
    // The scan's work ends when it announces completion; answering the box is the user's time.
    const auto end = answerer_.messages.empty() ? std::chrono::steady_clock::now() : answerer_.messages.back().shownAt;
    return Seconds(end - begin);
}

double Rig::Save(const std::string& directory) {
    std::chrono::steady_clock::time_point answered;
    answerer_.chooseFolder = [&] {
        answered = std::chrono::steady_clock::now();
        return QString::fromStdString(directory);
    };
    SaveTickedPictures(save_);
    return Seconds(std::chrono::steady_clock::now() - answered);
}

void WriteNoise(const std::string& path, std::int64_t size, std::uint32_t seed) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) throw std::runtime_error("cannot write " + path);
    std::mt19937_64 random(seed);
    std::vector<std::uint64_t> block(1 << 20);
    for (std::int64_t done = 0; done < size;) {
        for (auto& word : block) word = random();
        auto* bytes = reinterpret_cast<std::uint8_t*>(block.data());
        for (std::size_t sector = 0; sector < block.size() * 8; sector += 512) bytes[sector] &= 0x7F;
        const auto want = static_cast<std::size_t>(std::min<std::int64_t>(size - done, block.size() * 8));
        if (write(fd, bytes, want) != static_cast<ssize_t>(want)) throw std::runtime_error("short write " + path);
        done += static_cast<std::int64_t>(want);
    }
    close(fd);
}

}  // namespace velkor::bench
