// velkor's side of the exchange with picvet: a candidate in, a verdict back, within the time limit.
#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <utility>
#include <vector>

#include "carving/candidate_validation.h"
#include "platform/files.h"
#include "tests/support/test_support.h"

namespace velkor {
namespace {

using std::chrono::milliseconds;
using testing::MakeJpeg;

struct TimedExchange {
    ValidatorExchange exchange;
    milliseconds took{};
};

class Exchange : public ::testing::Test {
protected:
    void SetUp() override {
        testing::CopyDeliverable(std::string("picvet") + kProgramSuffix, dir_.Path());
        OverrideProgramDirectory(dir_.Path());
    }
    void TearDown() override {
        SetValidatorTimeLimit(kValidatorTimeLimitMs);
        OverrideProgramDirectory("");
    }

    // Puts the stand-in program, doing what order says, where picvet was.
    void FakeValidator(const std::string& order) { testing::StandIn(dir_.File("picvet"), order); }

    static TimedExchange Run(ByteView candidate) {
        const auto begin = std::chrono::steady_clock::now();
        ValidatorExchange exchange = ExchangeWithValidator(candidate);
        return {std::move(exchange), std::chrono::duration_cast<milliseconds>(std::chrono::steady_clock::now() - begin)};
    }

    testing::ScratchDir dir_;
};

// The frame header's declared height and width replaced (the fields after its precision byte).
ByteSet WithDeclaredSize(ByteSet jpeg, std::uint8_t frameMarker, int width, int height) {
    const auto at = static_cast<std::size_t>(FindBytes(jpeg, ByteSet{0xFF, frameMarker}));
    jpeg.at(at + 5) = static_cast<std::uint8_t>(height >> 8);
    jpeg.at(at + 6) = static_cast<std::uint8_t>(height);
    jpeg.at(at + 7) = static_cast<std::uint8_t>(width >> 8);
    jpeg.at(at + 8) = static_cast<std::uint8_t>(width);
    return jpeg;
}

// A progressive picture whose second scan is repeated until there are scans + 1 of them.
ByteSet WithRepeatedScans(int scans) {
    const ByteSet photo = MakeJpeg(64, 64, {.progressive = true});
    const std::int64_t first = FindBytes(photo, ByteSet{0xFF, 0xDA});
    const std::int64_t second = FindBytes(photo, ByteSet{0xFF, 0xDA}, first + 2);
    ByteSet hostile(photo.begin(), photo.begin() + second);
    for (int i = 0; i < scans; ++i) hostile.insert(hostile.end(), photo.begin() + first, photo.begin() + second);
    hostile.push_back(0xFF);
    hostile.push_back(0xD9);
    return hostile;
}

ByteSet NoiseAfterAStartSignature(std::size_t size) {
    std::mt19937 random(5);
    ByteSet noise(size);
    for (auto& byte : noise) byte = static_cast<std::uint8_t>(random());
    noise[0] = 0xFF;
    noise[1] = 0xD8;
    noise[2] = 0xFF;
    return noise;
}

TEST_F(Exchange, HostileCandidatesCostFarLessThanTheTimeLimit) {
    struct Case {
        const char* what;
        ByteSet candidate;
        bool rejected;
    };
    std::vector<Case> cases = {
        {"65535 x 65535 header", WithDeclaredSize(MakeJpeg(16, 16), 0xC0, 65535, 65535), true},
        {"20 MB of noise", NoiseAfterAStartSignature(20u * 1024 * 1024), true},
    };
    if (testing::CanEncode({.progressive = true})) {
        cases.push_back({"65500 x 65500 progressive header",
                         WithDeclaredSize(MakeJpeg(16, 16, {.progressive = true}), 0xC2, 65500, 65500), true});
        cases.push_back({"progressive picture with 20000 scans", WithRepeatedScans(20000), false});
    }
    for (const auto& c : cases) {
        const TimedExchange run = Run(c.candidate);
        EXPECT_TRUE(run.exchange.validatorStarted) << c.what;
        EXPECT_FALSE(run.exchange.timedOut) << c.what;
        EXPECT_EQ(run.exchange.rejected, c.rejected) << c.what;
        EXPECT_LT(run.took, milliseconds(kValidatorTimeLimitMs / 5)) << c.what;
    }
}

TEST_F(Exchange, AValidatorThatHangsIsKilledAtTheLimitAndThePresetRejectionStands) {
    FakeValidator("sleep 30000");
    EXPECT_EQ(SetValidatorTimeLimit(500), kValidatorTimeLimitMs) << "the limit in force until changed";
    const TimedExchange run = Run(MakeJpeg(64, 64));
    EXPECT_TRUE(run.exchange.validatorStarted);
    EXPECT_TRUE(run.exchange.timedOut);
    EXPECT_TRUE(run.exchange.rejected);
    EXPECT_GE(run.took, milliseconds(500));
    EXPECT_LT(run.took, milliseconds(1500));
    EXPECT_EQ(ReadWholeFile(dir_.File("ini.ini")), BytesOf("0"));
}

TEST_F(Exchange, AValidatorWithinTheLimitIsNotKilledAndItsVerdictCounts) {
    FakeValidator("accept 200");
    SetValidatorTimeLimit(2000);
    const TimedExchange run = Run(ByteSet{});
    EXPECT_FALSE(run.exchange.timedOut);
    EXPECT_FALSE(run.exchange.rejected);
}

}  // namespace
}  // namespace velkor
