// The scan's and the save's progress on the window runtime's bar and label, whichever toolkit
// makes them, and the speed and time left the status bar tells.
#include <gtest/gtest.h>

#include <memory>

#include "carving/progress_display.h"
#include "platform/drive_table.h"
#include "platform/window_runtime.h"

namespace velkor {
namespace {

class Progress : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(BindWindowRuntime()); }
    void TearDown() override { UseDiscoveredDriveTable(); }
    std::pair<int, std::string> Show(std::int64_t position, std::int64_t sectors) {
        ShowScanProgress(bar_, label_, position, sectors);
        return {bar_.Value(), label_.Text()};
    }
    std::unique_ptr<MainForm> form_ = MakeMainForm(Message("Velkor"), 634, 455);
    ProgressBar& bar_ = form_->AddProgressBar("进度条1", {288, 5, 290, 25});
    Label& label_ = form_->AddLabel("透明标签1", {580, 5, 50, 25});
};

TEST_F(Progress, ShowsTheShareOfChunksDone) {
    EXPECT_EQ(Show(0, 1000000), std::make_pair(0, std::string("0%")));
    EXPECT_EQ(Show(250000, 1000000), std::make_pair(25, std::string("25%")));
    EXPECT_EQ(Show(100000, 300000), std::make_pair(33, std::string("33.33%")));
    EXPECT_EQ(Show(200000, 300000), std::make_pair(66, std::string("66.67%"))) << "the bar takes the integer part";
    EXPECT_EQ(Show(300000, 300000), std::make_pair(100, std::string("100%")));
}

TEST_F(Progress, SaysDoneOncePastTheEnd) {
    EXPECT_EQ(Show(1100000, 1000001), std::make_pair(100, std::string("完成")));
    EXPECT_EQ(Show(55555555555, 1000), std::make_pair(100, std::string("完成")));
    EXPECT_EQ(Show(1000001, 100000000), std::make_pair(1, std::string("1%"))) << "1.000001 rounds to 1";
}

TEST_F(Progress, AnUnknownDriveSizeNeitherFailsNorShowsProgress) {
    EXPECT_EQ(Show(0, 0), std::make_pair(0, std::string("0%")));
    EXPECT_EQ(Show(55555555555, 0), std::make_pair(0, std::string("0%")));
}

TEST_F(Progress, SaveProgressAdvancesPerEntry) {
    const std::pair<int, std::string> expected[] = {{33, "33.33%"}, {66, "66.67%"}, {100, "100%"}};
    for (int i = 1; i <= 3; ++i) {
        ShowSaveProgress(bar_, label_, i, 3);
        EXPECT_EQ(std::make_pair(bar_.Value(), label_.Text()), expected[i - 1]);
    }
}

// The speed is the growth over the last ten seconds, so a drive that slows down shows
// it within that time; before a second has passed there is no speed to tell.
TEST(RateMeter, TakesTheRateOfTheLastTenSecondsAndTheTimeLeftAtIt) {
    using std::chrono::seconds;
    const RateMeter::Clock::time_point t0{};
    RateMeter meter;
    meter.Note(0, t0);
    EXPECT_EQ(meter.PerSecond(), std::nullopt);
    meter.Note(100, t0 + std::chrono::milliseconds(500));
    EXPECT_EQ(meter.PerSecond(), std::nullopt) << "half a second tells nothing yet";
    for (int s = 1; s <= 20; ++s) meter.Note(100 * s, t0 + seconds(s));
    ASSERT_TRUE(meter.PerSecond());
    EXPECT_DOUBLE_EQ(*meter.PerSecond(), 100.0);
    // It slows to 10 a second: ten seconds on, the rate is that of the slow part alone.
    for (int s = 21; s <= 30; ++s) meter.Note(2000 + 10 * (s - 20), t0 + seconds(s));
    EXPECT_DOUBLE_EQ(*meter.PerSecond(), 10.0);
    EXPECT_EQ(meter.TimeLeft(250), seconds(25));
    meter.Note(5, t0 + seconds(31));
    EXPECT_EQ(meter.PerSecond(), std::nullopt) << "a count that starts again starts a new rate";
}

TEST_F(Progress, TimeLeftReadsAsHoursMinutesOrSeconds) {
    EXPECT_EQ(TimeLeftText(std::chrono::seconds(12)).Utf8(), "约 12 秒");
    EXPECT_EQ(TimeLeftText(std::chrono::seconds(187)).Utf8(), "约 3 分 07 秒");
    EXPECT_EQ(TimeLeftText(std::chrono::seconds(7530)).Utf8(), "约 2 小时 5 分");
}

}  // namespace
}  // namespace velkor
