// bench/scan: the scan's throughput against a plain sequential read of the same
// image (51,200,000-byte blocks, page cache hot); on a photo-dense image its time per
// photo against the validator exchange for the same photos; and the dense image on a
// simulated 100 MB/s drive against a sequential read of it at that rate.
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "bench/bench_rig.h"
#include "carving/candidate_validation.h"
#include "device/raw_reader.h"
#include "device/scan_state.h"
#include "platform/drive_table.h"
#include "platform/files.h"

namespace velkor::bench {
namespace {

double SequentialReadSeconds(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    ByteSet block(static_cast<std::size_t>(kChunkBytes));
    const auto begin = std::chrono::steady_clock::now();
    for (off_t offset = 0;; offset += kChunkBytes) {
        if (pread(fd, block.data(), block.size(), offset) <= 0) break;
    }
    const double seconds = Seconds(std::chrono::steady_clock::now() - begin);
    close(fd);
    return seconds;
}

void EmptyImage(const std::string& directory, std::int64_t gib) {
    const std::string image = directory + "/empty.img";
    WriteNoise(image, gib << 30, 1);
    SequentialReadSeconds(image);  // warms the page cache
    const double mb = static_cast<double>(gib << 30) / 1e6;
    const double read = SequentialReadSeconds(image);
    Rig rig(image);
    const double scan = rig.Scan();
    std::printf("empty %lld GiB image: sequential read %.3f s (%.0f MB/s), scan %.3f s (%.0f MB/s), ratio %.2f, found %d\n",
                static_cast<long long>(gib), read, mb / read, scan, mb / scan, read / scan, rig.Found());
    std::remove(image.c_str());
}

// Writes count photos of about 2 MB, 8 sectors apart, into image; returns them.
std::vector<ByteSet> WriteDenseImage(const std::string& image, int count) {
    std::vector<ByteSet> photos;
    std::int64_t sector = 64;
    for (int i = 0; i < count; ++i) {
        photos.push_back(synth::MakeJpeg(2600, 1950, {.quality = 95, .seed = static_cast<std::uint32_t>(i + 1)}));
        testing::PlaceBytes(image, sector * 512, photos.back());
        sector += (static_cast<std::int64_t>(photos.back().size()) + 511) / 512 + 8;
    }
    testing::SizeFile(image, (sector + 1000) * 512);
    return photos;
}

void DenseImage(const std::string& directory, int count) {
    const std::string image = directory + "/dense.img";
    const std::vector<ByteSet> photos = WriteDenseImage(image, count);
    SequentialReadSeconds(image);
    Rig rig(image);
    std::vector<double> exchange;
    for (const ByteSet& photo : photos) {
        const auto begin = std::chrono::steady_clock::now();
        ExchangeWithValidator(photo);
        exchange.push_back(Seconds(std::chrono::steady_clock::now() - begin));
    }
    const double scan = rig.Scan();
    const double perPhotoMs = scan / rig.Found() * 1000.0;
    std::printf("dense image, %d photos of %.1f MB: scan %.3f s, found %d, %.2f ms per photo; "
                "exchange median %.2f ms; ratio %.2f\n",
                count, static_cast<double>(photos[0].size()) / 1e6, scan, rig.Found(), perPhotoMs, MedianMs(exchange),
                perPhotoMs / MedianMs(exchange));
}

// Seconds to read drive C from start to end through the drive layer, chunk by chunk.
double DriveReadSeconds(std::int64_t sectors) {
    ByteSet chunk;
    const auto begin = std::chrono::steady_clock::now();
    for (std::int64_t at = 0; at < sectors; at += kChunkSectors) ReadVolumeSectorsInto("C", at, kChunkSectors, chunk);
    return Seconds(std::chrono::steady_clock::now() - begin);
}

// The dense image on a drive that delivers bandwidth bytes a second: the scan, which
// reads ahead while it works, against reading the image once at that rate.
void SlowDrive(const std::string& directory, int count, std::int64_t bandwidth) {
    const std::string image = directory + "/dense-slow.img";
    WriteDenseImage(image, count);
    SequentialReadSeconds(image);
    Rig rig(image);
    const std::int64_t sectors = TheScanState().DeviceSectors;
    SimulateBandwidth(image, bandwidth);
    const double read = DriveReadSeconds(sectors);
    const double scan = rig.Scan();
    ClearInjectedFaults();
    std::printf("dense image, %d photos, %.0f MB, on a %.0f MB/s drive: sequential read %.3f s, scan %.3f s, found %d, "
                "ratio %.3f\n",
                count, static_cast<double>(sectors) * 512 / 1e6, static_cast<double>(bandwidth) / 1e6, read, scan,
                rig.Found(), scan / read);
    std::remove(image.c_str());
}

}  // namespace
}  // namespace velkor::bench

int main(int argc, char** argv) {
    const std::string directory = argc > 1 ? argv[1] : "/tmp";
    velkor::testing::ScratchDir unusedCwd;
    velkor::bench::EmptyImage(directory, 2);
    velkor::bench::DenseImage(directory, 200);
    velkor::bench::SlowDrive(directory, 200, 100'000'000);
    return 0;
}
