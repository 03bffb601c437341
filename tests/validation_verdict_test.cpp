// How a verdict read back from ini.ini, or measured in process, decides a candidate's fate.
#include <gtest/gtest.h>

#include "carving/candidate_validation.h"
#include "device/scan_state.h"
#include "platform/files.h"
#include "platform/window_runtime.h"
#include "tests/support/test_support.h"

namespace velkor {
namespace {

using testing::MakeJpeg;

class Verdict : public ::testing::Test {
protected:
    void SetUp() override { OverrideProgramDirectory(dir_.Path()); }
    void TearDown() override { OverrideProgramDirectory(""); }

    // A validator that leaves exactly these bytes in ini.ini.
    void ValidatorAnswering(const std::string& verdict) { testing::StandIn(dir_.File("picvet"), "answer " + verdict); }

    // CandidateSectors after validating a 12-sector candidate.
    std::int64_t Judged() {
        ScanState state;
        HoldCandidate(state, ByteSet(12 * 512, 0x55));
        state.CandidateSectors = 12;
        ValidateCandidate(state);
        return state.CandidateSectors;
    }

    testing::ScratchDir dir_;
};

TEST_F(Verdict, OnlyTheSingleByteZeroRejects) {
    ValidatorAnswering("1");
    EXPECT_EQ(Judged(), 12);
    ValidatorAnswering("0");
    EXPECT_EQ(Judged(), 1);
    ValidatorAnswering("0\n");
    EXPECT_EQ(Judged(), 12) << "0 followed by a line end is not a rejection";
    ValidatorAnswering("");
    EXPECT_EQ(Judged(), 12) << "an empty verdict is not a rejection";
}

TEST_F(Verdict, TheCandidateReachesTheValidatorWhole) {
    ValidatorAnswering("1");
    const ByteSet candidate = MakeJpeg(32, 32);
    ExchangeWithValidator(candidate);
    EXPECT_EQ(ReadWholeFile(dir_.File("tem.tem")), candidate);
    ExchangeWithValidator(ByteSet(5, 0x11));
    EXPECT_EQ(ReadWholeFile(dir_.File("tem.tem")), ByteSet(5, 0x11)) << "a shorter candidate leaves no tail of the last";
}

TEST_F(Verdict, AMissingValidatorRejectsAndSaysItCouldNotStart) {
    const ValidatorExchange exchange = ExchangeWithValidator(MakeJpeg(32, 32));
    EXPECT_FALSE(exchange.validatorStarted);
    EXPECT_TRUE(exchange.rejected) << "the pre-set 0 stands";
    EXPECT_EQ(Judged(), 1);
}

class MeasuringEntry : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(BindWindowRuntime()); }

    std::int64_t Measured(const ByteSet& candidate) {
        ScanState state;
        HoldCandidate(state, candidate);
        state.CandidateSectors = 7;
        MeasureCandidateInProcess(state, control_);
        return state.CandidateSectors;
    }

    MeasuringControl control_;
};

TEST_F(MeasuringEntry, AppliesTheValidatorsRuleInProcess) {
    EXPECT_EQ(Measured(MakeJpeg(10, 10)), 7);
    EXPECT_EQ(Measured(MakeJpeg(10, 9)), 1);
    EXPECT_EQ(Measured(MakeJpeg(9, 10)), 1);
    EXPECT_EQ(Measured(ByteSet{}), 1);
}

TEST_F(MeasuringEntry, ResetsTheControlEveryTime) {
    control_.SetTextSetting("picture");
    control_.SetNumberSetting(0);
    Measured(MakeJpeg(64, 64));
    EXPECT_EQ(control_.TextSetting(), " ");
    EXPECT_EQ(control_.NumberSetting(), 1);
}

}  // namespace
}  // namespace velkor
