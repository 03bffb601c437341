// bench/save: saving 200 photographs of about 3 MB against dd copying the same
// bytes (one dd over the region that holds them), page cache hot.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "bench/bench_rig.h"
#include "platform/files.h"

int main(int argc, char** argv) {
    using namespace velkor;
    const std::string directory = argc > 1 ? argv[1] : "/tmp";
    const std::string image = directory + "/save-bench.img";
    std::filesystem::remove(image);
    std::int64_t sector = 64;
    std::int64_t photoBytes = 0;
    for (int i = 0; i < 200; ++i) {
        const ByteSet photo = synth::MakeJpeg(2600, 1950, {.quality = 95, .seed = static_cast<std::uint32_t>(i + 1)});
        testing::PlaceBytes(image, sector * 512, photo);
        sector += (static_cast<std::int64_t>(photo.size()) + 511) / 512;
        photoBytes += static_cast<std::int64_t>(photo.size());
    }
    testing::SizeFile(image, (sector + 1000) * 512);
    bench::Rig rig(image);
    rig.Scan();
    const std::string out = directory + "/save-bench-out";
    const std::string ddOut = directory + "/save-bench-dd";
    std::filesystem::remove_all(out);
    std::filesystem::create_directories(out);
    const double save = rig.Save(out);
    std::int64_t saved = 0;
    for (const auto& entry : std::filesystem::directory_iterator(out)) saved += static_cast<std::int64_t>(entry.file_size());
    const std::string dd = "dd if=" + image + " of=" + ddOut + " bs=1M iflag=skip_bytes,count_bytes skip=" +
                           std::to_string(64 * 512) + " count=" + std::to_string(saved) + " status=none";
    const auto begin = std::chrono::steady_clock::now();
    const int ddStatus = std::system(dd.c_str());
    const double ddSeconds = bench::Seconds(std::chrono::steady_clock::now() - begin);
    std::printf("save: %d photos, %.1f MB of photos, %.1f MB written in %.3f s (%.0f MB/s)\n", rig.Found(),
                static_cast<double>(photoBytes) / 1e6, static_cast<double>(saved) / 1e6, save,
                static_cast<double>(saved) / 1e6 / save);
    std::printf("dd of the same %.1f MB: %.3f s (%.0f MB/s), exit %d; save speed / dd speed %.2f\n",
                static_cast<double>(saved) / 1e6, ddSeconds, static_cast<double>(saved) / 1e6 / ddSeconds, ddStatus,
                ddSeconds / save);
    std::filesystem::remove_all(out);
    std::filesystem::remove(ddOut);
    std::filesystem::remove(image);
    return 0;
}
