#include "platform/drive_table.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <thread>

#include "platform/drive_table_system.h"
#include "platform/image_list.h"

namespace velkor {
namespace {

constexpr char kFirstLetter = 'C';
constexpr char kLastLetter = 'Z';

struct InjectedFault {
    std::string source;
    std::int64_t firstByte = 0;
    std::int64_t lastByte = 0;
    int error = EIO;
};

struct LetterBinding {
    DeviceIdentity identity;
    std::string letter;
};

// A drive that delivers at most bytesPerSecond, busy until busyUntil with what was asked of it.
struct SimulatedDrive {
    std::string source;
    std::int64_t bytesPerSecond = 0;
    std::chrono::steady_clock::time_point busyUntil{};
};

// What reads meet, from whichever thread they run on: a scan reads ahead on a thread of its own.
struct ReadConditions {
    std::mutex guard;
    std::vector<InjectedFault> faults;
    std::vector<SimulatedDrive> drives;
};

ReadConditions& Conditions() {
    static ReadConditions conditions;
    return conditions;
}

// Only the window's thread touches the table, so a plain global suffices.
struct TableState {
    bool arranged = false;
    bool discovered = false;
    DriveTable table;
    std::vector<LetterBinding> bindings;  // every letter handed out since the process started
    char nextLetter = kFirstLetter;
    std::string firstImage;  // the first image of VELKOR_IMAGES offered at the last discovery
    std::vector<std::string> imagesNotOffered;
};

TableState& State() {
    static TableState state;
    return state;
}

// The letter bound to identity, binding the next unused one when it has none; empty
// when none is left. Letters the system uses now (systemLetters) are never handed out.
std::string LetterFor(TableState& state, const DeviceIdentity& identity, std::string_view systemLetters) {
    for (const LetterBinding& binding : state.bindings) {
        if (binding.identity == identity && systemLetters.find(binding.letter.front()) == std::string_view::npos) {
            return binding.letter;
        }
    }
    while (state.nextLetter <= kLastLetter && systemLetters.find(state.nextLetter) != std::string_view::npos) {
        ++state.nextLetter;
    }
    if (state.nextLetter > kLastLetter) return {};
    state.bindings.push_back({identity, std::string(1, state.nextLetter++)});
    return state.bindings.back().letter;
}

// Gives each discovered volume the letter bound to its device for the life of the
// process, so that a letter listed once never comes to mean another device; a letter
// the system gave stays as it is.
void BindLetters(TableState& state, DriveTable& table) {
    std::string systemLetters;
    for (const ArrangedVolume& volume : table.volumes) {
        if (volume.systemLetter) systemLetters += volume.letter;
    }
    std::vector<ArrangedVolume> bound;
    for (ArrangedVolume& volume : table.volumes) {
        volume.identity = IdentityOfSource(volume.source);
        if (!volume.identity) continue;
        if (!volume.systemLetter) volume.letter = LetterFor(state, *volume.identity, systemLetters);
        if (!volume.letter.empty()) bound.push_back(std::move(volume));
    }
    std::sort(bound.begin(), bound.end(),
              [](const ArrangedVolume& a, const ArrangedVolume& b) { return a.letter < b.letter; });
    table.volumes = std::move(bound);
}

std::vector<std::string> ImagesNamedIn(const char* variable) {
    const char* text = std::getenv(variable);
    return DecodeImageList(text == nullptr ? "" : text);
}

bool ListsSource(const DriveTable& table, const std::string& source) {
    return std::any_of(table.volumes.begin(), table.volumes.end(),
                       [&](const ArrangedVolume& volume) { return volume.source == source; });
}

// The named images that can be offered, each file once however often or under whatever name it is named;
// why the others cannot goes to notOffered.
std::vector<std::string> UsableImages(const std::vector<std::string>& named,
                                      std::vector<std::string>& notOffered) {
    std::vector<std::string> usable;
    std::vector<DeviceIdentity> seen;
    for (const std::string& image : named) {
        if (const std::string reason = ImageUnusableReason(image); !reason.empty()) {
            notOffered.push_back(PrintablePath(image) + ": " + reason);
            continue;
        }
        const std::optional<DeviceIdentity> identity = IdentityOfSource(image);
        if (!identity || std::find(seen.begin(), seen.end(), *identity) != seen.end()) continue;
        seen.push_back(*identity);
        usable.push_back(image);
    }
    return usable;
}

// The first of images the table lists; empty when it lists none.
std::string FirstListed(const DriveTable& table, const std::vector<std::string>& images) {
    for (const std::string& image : images) {
        if (ListsSource(table, image)) return image;
    }
    return {};
}

DriveTable DiscoverMachine(TableState& state) {
    const std::vector<std::string> selectable = ImagesNamedIn(kImagesVariable);
    std::vector<std::string> named = selectable;
    for (std::string& extra : ImagesNamedIn(kExtraImagesVariable)) named.push_back(std::move(extra));
    state.imagesNotOffered.clear();
    const std::vector<std::string> usable = UsableImages(named, state.imagesNotOffered);
    DriveTable table = DiscoverSystemDrives(usable);
    BindLetters(state, table);
    for (const std::string& image : usable) {
        if (!ListsSource(table, image))
            state.imagesNotOffered.push_back(PrintablePath(image) + ": no drive letter is left for it");
    }
    state.firstImage = FirstListed(table, selectable);
    return table;
}

const DriveTable& CurrentTable() {
    TableState& state = State();
    if (!state.arranged && !state.discovered) {
        state.table = DiscoverMachine(state);
        state.discovered = true;
    }
    return state.table;
}

bool SameLetter(std::string_view a, std::string_view b) {
    return a.size() == 1 && b.size() == 1 &&
           std::toupper(static_cast<unsigned char>(a[0])) == std::toupper(static_cast<unsigned char>(b[0]));
}

VolumeInfo DescribeVolume(const ArrangedVolume& volume) {
    const std::int64_t size = VolumeExtentBytes(volume);
    const std::string name = PrintablePath(std::filesystem::path(volume.source).filename().string());
    return {volume.letter, volume.source, name + "  (" + SizeText(size) + ")", volume.diskNumber, size,
            IsImageFile(volume.source),
            IdentityOfSource(volume.source)};
}

}  // namespace

std::string SizeText(std::int64_t bytes) {
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

std::int64_t VolumeExtentBytes(const ArrangedVolume& volume) {
    const std::int64_t sourceSize = SourceSizeBytes(volume.source);
    if (sourceSize < 0 || volume.offsetBytes >= sourceSize) return 0;
    const std::int64_t rest = sourceSize - volume.offsetBytes;
    return volume.sizeBytes < 0 ? rest : std::min(rest, volume.sizeBytes);
}

std::vector<VolumeInfo> ListVolumes() {
    State().discovered = false;
    std::vector<VolumeInfo> volumes;
    for (const ArrangedVolume& volume : CurrentTable().volumes) volumes.push_back(DescribeVolume(volume));
    return volumes;
}

std::optional<VolumeInfo> CurrentVolume(std::string_view letter) {
    for (VolumeInfo& volume : ListVolumes()) {
        if (SameLetter(volume.letter, letter)) return std::move(volume);
    }
    return std::nullopt;
}

std::optional<std::string> LetterOfFirstImage() {
    const DriveTable& table = CurrentTable();
    const TableState& state = State();
    if (state.arranged || state.firstImage.empty()) return std::nullopt;
    for (const ArrangedVolume& volume : table.volumes) {
        if (volume.source == state.firstImage) return volume.letter;
    }
    return std::nullopt;
}

std::vector<std::string> ImagesNotOffered() {
    CurrentTable();
    const TableState& state = State();
    return state.arranged ? std::vector<std::string>() : state.imagesNotOffered;
}

void ArrangeDriveTable(std::vector<ArrangedDisk> disks, std::vector<ArrangedVolume> volumes) {
    TableState& state = State();
    state.arranged = true;
    for (ArrangedVolume& volume : volumes) {
        if (!volume.identity) volume.identity = IdentityOfSource(volume.source);
    }
    state.table = {std::move(disks), std::move(volumes)};
}

void UseDiscoveredDriveTable() {
    TableState& state = State();
    state.arranged = false;
    state.discovered = false;
}

void InjectReadFailure(std::string source, std::int64_t firstByte, std::int64_t lastByte, int error) {
    ReadConditions& conditions = Conditions();
    const std::lock_guard lock(conditions.guard);
    conditions.faults.push_back({std::move(source), firstByte, lastByte, error});
}

void SimulateBandwidth(std::string source, std::int64_t bytesPerSecond) {
    ReadConditions& conditions = Conditions();
    const std::lock_guard lock(conditions.guard);
    std::erase_if(conditions.drives, [&](const SimulatedDrive& drive) { return drive.source == source; });
    if (bytesPerSecond > 0) conditions.drives.push_back({std::move(source), bytesPerSecond, {}});
}

void ClearInjectedFaults() {
    ReadConditions& conditions = Conditions();
    const std::lock_guard lock(conditions.guard);
    conditions.faults.clear();
    conditions.drives.clear();
}

void WaitForSimulatedDrive(const std::string& source, std::int64_t bytes) {
    std::chrono::steady_clock::time_point ready;
    {
        ReadConditions& conditions = Conditions();
        const std::lock_guard lock(conditions.guard);
        const auto drive = std::find_if(conditions.drives.begin(), conditions.drives.end(),
                                        [&](const SimulatedDrive& d) { return d.source == source; });
        if (drive == conditions.drives.end() || bytes <= 0) return;
        const auto takes = std::chrono::nanoseconds(bytes * 1'000'000'000 / drive->bytesPerSecond);
        drive->busyUntil = std::max(drive->busyUntil, std::chrono::steady_clock::now()) +
                           std::chrono::duration_cast<std::chrono::steady_clock::duration>(takes);
        ready = drive->busyUntil;
    }
    std::this_thread::sleep_until(ready);
}

std::int64_t ReadableBeforeInjectedFault(const std::string& source, std::int64_t offset, std::int64_t size,
                                         int& error) {
    ReadConditions& conditions = Conditions();
    const std::lock_guard lock(conditions.guard);
    std::int64_t readable = size;
    for (const InjectedFault& fault : conditions.faults) {
        if (fault.source != source || fault.lastByte < offset) continue;
        if (fault.firstByte <= offset) {
            error = fault.error;
            return -1;
        }
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
