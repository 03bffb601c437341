#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "platform/drive_discovery.h"
#include "platform/drive_table.h"

namespace velkor {
namespace {

constexpr const char* kImagesVariable = "VELKOR_IMAGES";

struct InjectedFault {
    std::string source;
    std::int64_t firstByte = 0;
    std::int64_t lastByte = 0;
};

// Only the window's thread touches the table, so a plain global suffices.
struct TableState {
    bool arranged = false;
    bool discovered = false;
    DriveTable table;
    std::vector<InjectedFault> faults;
};

TableState& State() {
    static TableState state;
    return state;
}

DriveTable DiscoverMachine() {
    const char* images = std::getenv(kImagesVariable);
    return DiscoverDriveTable("/sys/block", "/dev", ImagePathsFromList(images == nullptr ? "" : images));
}

const DriveTable& CurrentTable() {
    TableState& state = State();
    if (!state.arranged && !state.discovered) {
        state.table = DiscoverMachine();
        state.discovered = true;
    }
    return state.table;
}

bool SameLetter(std::string_view a, std::string_view b) {
    return a.size() == 1 && b.size() == 1 &&
           std::toupper(static_cast<unsigned char>(a[0])) == std::toupper(static_cast<unsigned char>(b[0]));
}

std::string HumanSize(std::int64_t bytes) {
    static constexpr std::array<const char*, 6> kUnits = {"B", "KiB", "MiB", "GiB", "TiB", "PiB"};
    auto value = static_cast<double>(bytes);
    std::size_t unit = 0;
    while (value >= 1024.0 && unit + 1 < kUnits.size()) {
        value /= 1024.0;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.1f %s", value, kUnits[unit]);
    return text;
}

VolumeInfo DescribeVolume(const ArrangedVolume& volume) {
    const std::int64_t size = VolumeExtentBytes(volume);
    const std::string name = std::filesystem::path(volume.source).filename().string();
    return {volume.letter, volume.source, name + "  (" + HumanSize(size) + ")", volume.diskNumber, size};
}

}  // namespace

std::vector<VolumeInfo> ListVolumes() {
    State().discovered = false;
    std::vector<VolumeInfo> volumes;
    for (const ArrangedVolume& volume : CurrentTable().volumes) volumes.push_back(DescribeVolume(volume));
    return volumes;
}

void ArrangeDriveTable(std::vector<ArrangedDisk> disks, std::vector<ArrangedVolume> volumes) {
    TableState& state = State();
    state.arranged = true;
    state.table = {std::move(disks), std::move(volumes)};
}

void UseDiscoveredDriveTable() {
    TableState& state = State();
    state.arranged = false;
    state.discovered = false;
}

void InjectReadFailure(std::string source, std::int64_t firstByte, std::int64_t lastByte) {
    State().faults.push_back({std::move(source), firstByte, lastByte});
}

void ClearInjectedFaults() { State().faults.clear(); }

std::int64_t ReadableBeforeInjectedFault(const std::string& source, std::int64_t offset, std::int64_t size) {
    std::int64_t readable = size;
    for (const InjectedFault& fault : State().faults) {
        if (fault.source != source || fault.lastByte < offset) continue;
        if (fault.firstByte <= offset) return -1;
        readable = std::min(readable, fault.firstByte - offset);
    }
    return readable;
}

std::optional<ArrangedVolume> FindVolume(std::string_view letter) {
    for (const ArrangedVolume& volume : CurrentTable().volumes) {
        if (SameLetter(volume.letter, letter)) return volume;
    }
    return std::nullopt;
}

std::optional<ArrangedDisk> FindDisk(std::int32_t number) {
    for (const ArrangedDisk& disk : CurrentTable().disks) {
        if (disk.number == number) return disk;
    }
    return std::nullopt;
}

}  // namespace velkor
