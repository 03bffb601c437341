#include "tests/support/scratch_files.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>

#include "platform/drive_table.h"
#include "platform/files.h"
#include "platform/files_system.h"

namespace velkor::testing {
namespace {

namespace fs = std::filesystem;

void Require(bool condition, const std::string& what) {
    if (!condition) throw std::runtime_error(what);
}

// Creates path when it does not exist, leaving an existing file as it is.
void Touch(const std::string& path) {
    if (!fs::exists(path)) std::ofstream(path, std::ios::binary);
    Require(fs::is_regular_file(path), "cannot create " + path);
}

}  // namespace

ScratchDir::ScratchDir() {
    // The random name is taken only when no one has it.
    std::random_device seed;
    std::mt19937_64 random(seed());
    for (const fs::path& parent : ScratchParents()) {
        for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
            const fs::path candidate = parent / ("velkor-test-" + std::to_string(random() % 1000000000));
            std::error_code refused;
            if (fs::create_directory(candidate, refused)) path_ = candidate.string();
            if (refused) break;
        }
    }
    Require(!path_.empty(), "cannot make a scratch directory");
}

ScratchDir::~ScratchDir() {
    std::error_code ignored;
    fs::permissions(path_, fs::perms::owner_all, ignored);
    fs::remove_all(path_, ignored);
}

std::vector<std::string> NamesIn(const std::string& directory) {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(directory, error)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

void PlaceBytes(const std::string& path, std::int64_t offset, ByteView bytes) {
    Touch(path);
    std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(offset);
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    file.close();
    Require(!file.fail(), "short write to " + path);
}

void SizeFile(const std::string& path, std::int64_t size) {
    Touch(path);
    std::error_code error;
    fs::resize_file(path, static_cast<std::uintmax_t>(size), error);
    // Wine would not set the end of a 2.2 TiB image (1 TiB it did), but writes its last byte.
    if (error && size > 0 && static_cast<std::int64_t>(fs::file_size(path)) < size) {
        PlaceBytes(path, size - 1, ByteSet{0});
        error = {};
    }
    Require(!error && static_cast<std::int64_t>(fs::file_size(path)) == size, "cannot size " + path);
}

std::string FileFingerprint(const std::string& path) {
    FILE* file = std::fopen(path.c_str(), "rb");
    Require(file != nullptr, "cannot read " + path);
    std::uint64_t hash = 1469598103934665603ull;
    std::uint64_t size = 0;
    unsigned char block[65536];
    for (std::size_t got; (got = std::fread(block, 1, sizeof block, file)) > 0;) {
        for (std::size_t i = 0; i < got; ++i) hash = (hash ^ block[i]) * 1099511628211ull;
        size += got;
    }
    std::fclose(file);
    return std::to_string(size) + ":" + std::to_string(hash);
}

void UseImageAsDriveC(const std::string& image, std::int64_t sectors) {
    SizeFile(image, sectors * 512);
    ArrangeDriveTable({{0, image}}, {{.letter = "C", .source = image, .diskNumber = 0}});
}

std::string StandIn(const std::string& path, const std::string& order) {
    const std::string program = path + kProgramSuffix;
    fs::copy_file(ExecutableDirectory() + "/velkor_stand_in" + kProgramSuffix, program, fs::copy_options::overwrite_existing);
    std::ofstream(program + ".do", std::ios::binary) << order;
    Require(fs::file_size(program + ".do") == order.size(), "cannot write " + program + ".do");
    return program;
}

}  // namespace velkor::testing
