// bench/save_durability: 200 JPEG files of 1.5 to 3 MB saved through TargetDirectory into a fresh
// directory, made durable in the two ways a save can be: one syncfs at the end (MakeDurable), against
// an fdatasync of each photo as soon as it is saved plus an fsync of the directory at the end, which
// is the flush per file that syncing each temporary before it is linked in would cost. A save with no
// sync at all shows what durability adds. Rounds alternate the ways; the medians are printed.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "host/photo_synth.h"
#include "platform/target_directory.h"
#include "platform/unique_fd.h"

namespace {

using namespace velkor;
using Clock = std::chrono::steady_clock;

constexpr int kPhotos = 200;
constexpr int kRounds = 9;

// Seeded noise over gradients: the disk does not care what a photo shows, and noise encodes to a
// camera photo's size in a hundredth of the time the synthesised landscapes take.
std::vector<std::uint8_t> NoisyPixels(int width, int height, std::uint64_t seed) {
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3);
    std::uint64_t state = 0x9E3779B97F4A7C15ull ^ seed;
    for (std::size_t i = 0; i < rgb.size(); ++i) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        const std::size_t pixel = i / 3;
        const std::size_t x = pixel % static_cast<std::size_t>(width);
        const std::size_t y = pixel / static_cast<std::size_t>(width);
        rgb[i] = static_cast<std::uint8_t>((i % 3 == 0 ? x : i % 3 == 1 ? y : (x + y) / 2) + (state & 63));
    }
    return rgb;
}

// Photos from 1.5 to 3 MB: the picture's area grows with its index.
std::vector<ByteSet> MakePhotos() {
    std::vector<ByteSet> photos;
    for (int i = 0; i < kPhotos; ++i) {
        const int width = 1500 + 6 * (i % 100);
        const int height = width * 3 / 4;
        photos.push_back(synth::EncodePixels(NoisyPixels(width, height, static_cast<std::uint64_t>(i)), width,
                                             height, {.quality = 95}));
    }
    return photos;
}

// Saves every photo into directory, calling afterEach with its path; returns the directory still
// open, nullopt when a save or afterEach failed.
std::optional<TargetDirectory> SaveAll(const std::string& directory, const std::vector<ByteSet>& photos,
                                       const std::function<bool(const std::string&)>& afterEach) {
    std::string reason;
    std::optional<TargetDirectory> target = TargetDirectory::Open(directory, reason);
    for (std::size_t i = 0; target && i < photos.size(); ++i) {
        const auto saved = target->Save(std::to_string(10000000 + i) + ".jpg", photos[i]);
        reason = saved.reason;
        if (saved.kind != TargetDirectory::Saved::Kind::kWritten ||
            !afterEach(directory + "/" + saved.name)) {
            target.reset();
        }
    }
    if (!target) std::fprintf(stderr, "saving into %s failed: %s\n", directory.c_str(), reason.c_str());
    return target;
}

// Returns true when path's data (and, for wholeFile, its metadata) reached the disk.
bool Sync(const std::string& path, bool wholeFile) {
    const UniqueFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    return fd && (wholeFile ? fsync(fd.get()) : fdatasync(fd.get())) == 0;
}

bool SyncFsAtEnd(const std::string& directory, const std::vector<ByteSet>& photos) {
    std::optional<TargetDirectory> target =
        SaveAll(directory, photos, [](const std::string&) { return true; });
    std::string reason;
    if (!target || target->MakeDurable(reason)) return target.has_value();
    std::fprintf(stderr, "syncfs failed: %s\n", reason.c_str());
    return false;
}

bool DataSyncEach(const std::string& directory, const std::vector<ByteSet>& photos) {
    return SaveAll(directory, photos, [](const std::string& path) { return Sync(path, false); }) &&
           Sync(directory, true);
}

bool NoSync(const std::string& directory, const std::vector<ByteSet>& photos) {
    return SaveAll(directory, photos, [](const std::string&) { return true; }).has_value();
}

// Seconds one way took into a fresh directory; the page cache is written back before and after,
// untimed, so no way pays for another's dirty pages. Negative when a save failed.
double TimeOnce(const std::string& base, const std::vector<ByteSet>& photos,
                bool (*way)(const std::string&, const std::vector<ByteSet>&)) {
    const std::string directory = base + "/save-durability-out";
    std::filesystem::remove_all(directory);
    std::filesystem::create_directory(directory);
    sync();
    const auto begin = Clock::now();
    const bool ok = way(directory, photos);
    const double seconds = std::chrono::duration<double>(Clock::now() - begin).count();
    std::filesystem::remove_all(directory);
    sync();
    return ok ? seconds : -1;
}

double Median(std::vector<double> samples) {
    std::sort(samples.begin(), samples.end());
    return samples[samples.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    const std::string base = argc > 1 ? argv[1] : "/var/tmp";
    const std::vector<ByteSet> photos = MakePhotos();
    std::size_t total = 0;
    std::size_t smallest = photos.front().size();
    std::size_t largest = 0;
    for (const ByteSet& photo : photos) {
        total += photo.size();
        smallest = std::min(smallest, photo.size());
        largest = std::max(largest, photo.size());
    }
    std::printf("%d photos, %.1f MB in all, %.2f to %.2f MB each, into %s; %d rounds\n", kPhotos,
                static_cast<double>(total) / 1e6, static_cast<double>(smallest) / 1e6,
                static_cast<double>(largest) / 1e6, base.c_str(), kRounds);
    struct Way {
        const char* name;
        bool (*run)(const std::string&, const std::vector<ByteSet>&);
        std::vector<double> seconds;
    };
    std::vector<Way> ways = {{"one syncfs at the end", SyncFsAtEnd, {}},
                             {"fdatasync each photo, fsync directory", DataSyncEach, {}},
                             {"no sync (page cache only)", NoSync, {}}};
    for (int round = 0; round < kRounds; ++round) {
        for (Way& way : ways) {
            const double seconds = TimeOnce(base, photos, way.run);
            if (seconds < 0) return 1;
            way.seconds.push_back(seconds);
        }
    }
    for (const Way& way : ways) {
        const auto [fastest, slowest] = std::minmax_element(way.seconds.begin(), way.seconds.end());
        std::printf("%-40s median %.3f s (%.0f MB/s), fastest %.3f s, slowest %.3f s\n", way.name,
                    Median(way.seconds), static_cast<double>(total) / 1e6 / Median(way.seconds), *fastest,
                    *slowest);
    }
    return 0;
}
