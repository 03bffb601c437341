// bench/hostile: hostile media scan in time proportional to their size. 4 MiB images
// whose every sector begins with a start signature (without any end marker, with an
// end marker in each sector, and with whole headers and an end marker in each
// sector), and a 2 GiB image of starts without ends against a 2 GiB image of zeros.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <stdexcept>
#include <string>

#include "bench/bench_rig.h"
#include "carving/candidate_cut.h"

namespace velkor::bench {
namespace {

// Writes an image of size bytes whose every sector is sector.
void WriteRepeated(const std::string& path, std::int64_t size, const ByteSet& sector) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) throw std::runtime_error("cannot write " + path);
    ByteSet block;
    for (int k = 0; k < 2048; ++k) block.insert(block.end(), sector.begin(), sector.end());
    for (std::int64_t done = 0; done < size;) {
        const auto n = static_cast<std::size_t>(std::min<std::int64_t>(static_cast<std::int64_t>(block.size()), size - done));
        if (write(fd, block.data(), n) != static_cast<ssize_t>(n)) throw std::runtime_error("cannot write " + path);
        done += static_cast<std::int64_t>(n);
    }
    close(fd);
}

double ScanOf(const std::string& directory, const char* name, std::int64_t size, const ByteSet& sector) {
    const std::string image = directory + "/" + name + ".img";
    WriteRepeated(image, size, sector);
    double seconds = 0;
    int found = 0;
    {
        Rig rig(image);
        seconds = rig.Scan();
        found = rig.Found();
    }
    std::printf("%-28s %6lld MiB: scan %8.3f s, found %d\n", name, static_cast<long long>(size >> 20), seconds, found);
    std::remove(image.c_str());
    return seconds;
}

ByteSet StartSector() {
    ByteSet sector(512, 0);
    sector[0] = 0xFF, sector[1] = 0xD8, sector[2] = 0xFF, sector[3] = 0xE0;
    return sector;
}

ByteSet WithEnd(ByteSet sector, std::size_t at) {
    sector[at] = 0xFF, sector[at + 1] = 0xD9, sector[at + 2] = 0, sector[at + 3] = 0;
    return sector;
}

ByteSet HeadersSector() {
    const ByteSet photo = synth::MakeJpeg(64, 64, {.grayscale = true});
    ByteSet sector(photo.begin(), photo.begin() + FirstScanDataOffset(photo));
    sector.resize(512, 0x11);
    return WithEnd(sector, 500);
}

}  // namespace
}  // namespace velkor::bench

int main(int argc, char** argv) {
    using namespace velkor::bench;
    const std::string directory = argc > 1 ? argv[1] : "/tmp";
    velkor::testing::ScratchDir unusedCwd;
    constexpr std::int64_t kSmall = std::int64_t{4} << 20;
    constexpr std::int64_t kLarge = std::int64_t{2} << 30;
    ScanOf(directory, "starts without ends", kSmall, StartSector());
    ScanOf(directory, "a start and an end each", kSmall, WithEnd(StartSector(), 508));
    ScanOf(directory, "headers and an end each", kSmall, HeadersSector());
    const double zeros = ScanOf(directory, "zeros", kLarge, velkor::ByteSet(512, 0));
    const double starts = ScanOf(directory, "starts without ends", kLarge, StartSector());
    std::printf("2 GiB of starts without ends / 2 GiB of zeros: %.2f\n", starts / zeros);
    return 0;
}
