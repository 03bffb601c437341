// bench/validator: what one candidate costs the scan. Times picvet alone on an
// empty candidate, the whole exchange (write tem.tem, write ini.ini, start picvet,
// wait, read ini.ini) for four photographs, and djpeg decoding each fully.
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/bench_rig.h"
#include "carving/candidate_validation.h"
#include "platform/files.h"
#include "platform/process.h"

extern char** environ;

namespace velkor::bench {
namespace {

constexpr int kRuns = 101;

double TimeDjpeg(const std::string& file) {
    std::vector<double> samples;
    for (int i = 0; i < 5; ++i) {
        const char* argv[] = {"djpeg", "-outfile", "/dev/null", file.c_str(), nullptr};
        const auto begin = std::chrono::steady_clock::now();
        pid_t pid = 0;
        if (posix_spawnp(&pid, "djpeg", nullptr, nullptr, const_cast<char**>(argv), environ) != 0) return -1;
        int status = 0;
        waitpid(pid, &status, 0);
        samples.push_back(Seconds(std::chrono::steady_clock::now() - begin));
    }
    return MedianMs(samples);
}

double TimeExchange(ByteView candidate) {
    std::vector<double> samples;
    for (int i = 0; i < kRuns; ++i) {
        const auto begin = std::chrono::steady_clock::now();
        ExchangeWithValidator(candidate);
        samples.push_back(Seconds(std::chrono::steady_clock::now() - begin));
    }
    return MedianMs(samples);
}

double TimePicvetOnEmptyCandidate(const std::string& programDirectory) {
    WriteWholeFile(programDirectory + "/tem.tem", ByteSet{});
    std::vector<double> samples;
    for (int i = 0; i < kRuns; ++i) {
        const auto begin = std::chrono::steady_clock::now();
        StartProgramAndWait(programDirectory + "/picvet");
        samples.push_back(Seconds(std::chrono::steady_clock::now() - begin));
    }
    return MedianMs(samples);
}

}  // namespace
}  // namespace velkor::bench

int main() {
    using namespace velkor;
    testing::ScratchDir work;
    bench::Rig rig(work.File("unused.img"));
    struct Photo {
        const char* name;
        int width, height;
        bool progressive;
    };
    const Photo photos[] = {{"0.3 MP baseline", 640, 480, false},
                            {"3 MP baseline", 2048, 1536, false},
                            {"12 MP baseline", 4000, 3000, false},
                            {"12 MP progressive", 4000, 3000, true}};
    std::printf("picvet alone, empty tem.tem: median %.2f ms (%d runs)\n\n",
                bench::TimePicvetOnEmptyCandidate(rig.ProgramDirectory()), bench::kRuns);
    std::printf("%-18s %10s %14s %12s\n", "photo", "bytes", "exchange (ms)", "djpeg (ms)");
    for (const Photo& photo : photos) {
        const ByteSet bytes =
            synth::MakeJpeg(photo.width, photo.height, {.progressive = photo.progressive, .quality = 92, .seed = 7});
        const std::string file = work.File("photo.jpg");
        WriteWholeFile(file, bytes);
        std::printf("%-18s %10zu %14.2f %12.2f\n", photo.name, bytes.size(), bench::TimeExchange(bytes),
                    bench::TimeDjpeg(file));
    }
    return 0;
}
