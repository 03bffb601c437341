// The window runtime's controls as the system drives them, whichever toolkit makes them:
// the same cases run on Qt and on Win32 controls.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>

#include "platform/drive_table.h"
#include "platform/files.h"
#include "platform/window_runtime.h"
#include "tests/support/scratch_files.h"

namespace velkor {
namespace {

// A 16 x 8 grey baseline JPEG.
const ByteSet kSmallPicture = {
    0xff, 0xd8, 0xff, 0xe0, 0x00, 0x10, 0x4a, 0x46, 0x49, 0x46, 0x00, 0x01, 0x01, 0x00, 0x00, 0x01, 0x00, 0x01,
    0x00, 0x00, 0xff, 0xdb, 0x00, 0x43, 0x00, 0x08, 0x06, 0x06, 0x07, 0x06, 0x05, 0x08, 0x07, 0x07, 0x07, 0x09,
    0x09, 0x08, 0x0a, 0x0c, 0x14, 0x0d, 0x0c, 0x0b, 0x0b, 0x0c, 0x19, 0x12, 0x13, 0x0f, 0x14, 0x1d, 0x1a, 0x1f,
    0x1e, 0x1d, 0x1a, 0x1c, 0x1c, 0x20, 0x24, 0x2e, 0x27, 0x20, 0x22, 0x2c, 0x23, 0x1c, 0x1c, 0x28, 0x37, 0x29,
    0x2c, 0x30, 0x31, 0x34, 0x34, 0x34, 0x1f, 0x27, 0x39, 0x3d, 0x38, 0x32, 0x3c, 0x2e, 0x33, 0x34, 0x32, 0xff,
    0xc0, 0x00, 0x0b, 0x08, 0x00, 0x08, 0x00, 0x10, 0x01, 0x01, 0x11, 0x00, 0xff, 0xc4, 0x00, 0x15, 0x00, 0x01,
    0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x06, 0x07, 0xff,
    0xc4, 0x00, 0x23, 0x10, 0x00, 0x01, 0x03, 0x03, 0x02, 0x07, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x01, 0x02, 0x04, 0x11, 0x00, 0x05, 0x22, 0x03, 0x06, 0x12, 0x16, 0x21, 0x23, 0x32, 0x33, 0x41,
    0xff, 0xda, 0x00, 0x08, 0x01, 0x01, 0x00, 0x00, 0x3f, 0x00, 0x27, 0xb3, 0xac, 0xfe, 0xbc, 0x6a, 0xa1, 0x7d,
    0xbb, 0x72, 0x5e, 0xc6, 0x73, 0x72, 0xd2, 0xc5, 0xf6, 0xac, 0x36, 0x65, 0xd2, 0x7b, 0xcb, 0x06, 0x15, 0xe2,
    0x46, 0x20, 0x29, 0x70, 0x44, 0x1e, 0x18, 0xfb, 0x5f, 0xff, 0xd9};

constexpr Place kSomewhere{5, 5, 100, 24};

// Lets the window's events run until done() holds or within has passed; returns done().
bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds within = std::chrono::seconds(2)) {
    EventPump pump;
    const auto deadline = std::chrono::steady_clock::now() + within;
    while (!done() && std::chrono::steady_clock::now() < deadline) {
        pump.PumpNow();
        WaitMilliseconds(2);
    }
    return done();
}

class WindowForm : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(BindWindowRuntime()); }
    void SetUp() override { form_ = MakeMainForm(Message("Velkor"), 634, 455); }
    void TearDown() override {
        form_.reset();
        UseDiscoveredDriveTable();
    }
    std::unique_ptr<MainForm> form_;
};

TEST_F(WindowForm, ButtonsAndLabelsGiveBackTheirTexts) {
    int clicks = 0;
    Button& button = form_->AddButton("button", kSomewhere, Message("扫描"), [&] { ++clicks; });
    EXPECT_EQ(button.Text(), "扫描");
    button.SetText(Message("停止"));
    EXPECT_EQ(button.Text(), "停止");
    Label& label = form_->AddLabel("label", kSomewhere);
    EXPECT_EQ(label.Text(), "");
    label.SetText(Message("33.33%"));
    EXPECT_EQ(label.Text(), "33.33%");
    form_->AddStatusBar("bar", {0, 435, 634, 20});
    Label& first = form_->AddStatusField("first", {0, 0, 144, 20});
    Label& second = form_->AddStatusField("second", {146, 0, 488, 20});
    first.SetText(Message("C: 2.0 MB"));
    second.SetText(Message("找到 3 张照片"));
    EXPECT_EQ(first.Text(), "C: 2.0 MB");
    EXPECT_EQ(second.Text(), "找到 3 张照片");
    EXPECT_EQ(clicks, 0) << "setting a caption is no click";
}

TEST_F(WindowForm, TheTreeKeepsEntriesTicksMarksAndTheCurrentOne) {
    int changes = 0;
    TreeBox& tree = form_->AddTreeBox("tree", {5, 40, 139, 392}, [&] { ++changes; }, [] {});
    form_->Show();
    for (const char* name : {"10000000.jpg", "10000001.jpg", "10000002.jpg"}) tree.Append(name);
    ASSERT_EQ(tree.Count(), 3);
    EXPECT_EQ(tree.Text(1), "10000001.jpg");
    EXPECT_EQ(tree.Tick(0) + tree.Tick(1) + tree.Tick(2), 0) << "entries come unticked";
    tree.SetTick(1, true);
    EXPECT_EQ(tree.Tick(1), 1);
    EXPECT_EQ(tree.Tick(0) + tree.Tick(2), 0);
    tree.SetAllTicks(true);
    EXPECT_EQ(tree.Tick(0) + tree.Tick(1) + tree.Tick(2), 3);
    tree.MarkDamaged(2, Message("可能不完整"));
    EXPECT_TRUE(tree.IsDamaged(2));
    EXPECT_FALSE(tree.IsDamaged(1));
    EXPECT_EQ(tree.DamagedCount(), 1);
    EXPECT_EQ(tree.Text(2), "10000002.jpg") << "a mark leaves the text as it is";
    EXPECT_EQ(tree.CurrentIndex(), -1);
    tree.SetCurrentIndex(1);
    EXPECT_EQ(tree.CurrentIndex(), 1);
    EXPECT_GE(changes, 1) << "a current entry set by the program is told as one the user chose";
    tree.SetCurrentIndex(7);
    EXPECT_EQ(tree.CurrentIndex(), -1);
    EXPECT_EQ(tree.Text(7), "");
    EXPECT_EQ(tree.Tick(-1), 0);
    tree.Clear();
    EXPECT_EQ(tree.Count(), 0);
    EXPECT_EQ(tree.Tick(0), 0);
    EXPECT_EQ(tree.DamagedCount(), 0);
}

TEST_F(WindowForm, TheDriveBoxListsTheDrivesAndTellsEachNewSelectionOnce) {
    const testing::ScratchDir dir;
    const std::string card = dir.File("card.img");
    const std::string stick = dir.File("stick.img");
    testing::SizeFile(card, 4000 * 512);
    testing::SizeFile(stick, 2000 * 512);
    ArrangeDriveTable({{0, card}, {1, stick}}, {{.letter = "C", .source = card, .diskNumber = 0},
                                               {.letter = "D", .source = stick, .diskNumber = 1}});
    int changes = 0;
    DriveBox& drives = form_->AddDriveBox("drives", {5, 8, 139, 22}, [&] { ++changes; });
    EXPECT_EQ(drives.SelectedLetter(), "C");
    ASSERT_TRUE(drives.SelectedVolume().has_value());
    EXPECT_EQ(drives.SelectedVolume()->sizeBytes, 4000 * 512);
    EXPECT_TRUE(drives.SelectLetter("D"));
    EXPECT_EQ(drives.SelectedLetter(), "D");
    EXPECT_EQ(drives.SelectedVolume()->sizeBytes, 2000 * 512);
    EXPECT_EQ(changes, 1);
    EXPECT_TRUE(drives.SelectLetter("D"));
    EXPECT_EQ(changes, 1) << "the same drive again is no change";
    EXPECT_FALSE(drives.SelectLetter("Q"));
    EXPECT_EQ(drives.SelectedLetter(), "D");
    EXPECT_FALSE(drives.RefreshIfChanged()) << "nothing came or went";
    ArrangeDriveTable({{0, card}}, {{.letter = "C", .source = card, .diskNumber = 0}});
    EXPECT_TRUE(drives.RefreshIfChanged());
    EXPECT_EQ(drives.SelectedLetter(), "C") << "the drive that went is no longer selected";
    drives.SetEnabled(false);
    EXPECT_FALSE(drives.Enabled());
    drives.SetEnabled(true);
    EXPECT_TRUE(drives.Enabled());
}

TEST_F(WindowForm, ThePictureBoxShowsAPictureOrSaysWhyItCannot) {
    PictureBox& box = form_->AddPictureBox("picture", {145, 40, 488, 392});
    box.SetPicture(kSmallPicture);
    EXPECT_TRUE(box.HasPicture());
    EXPECT_EQ(box.Notice(), "");
    box.SetPicture(ByteSet{0xFF, 0xD8, 0xFF, 0xE0, 0x00});
    EXPECT_FALSE(box.HasPicture());
    EXPECT_EQ(box.Notice().rfind("无法预览：", 0), 0u) << box.Notice();
    box.SetPicture({});
    EXPECT_FALSE(box.HasPicture());
    EXPECT_EQ(box.Notice(), "");
}

TEST_F(WindowForm, TimersTickWhileEventsRunAndNotOnceStopped) {
    int ticks = 0;
    Timer& timer = form_->AddTimer("clock", 10, [&] { ++ticks; });
    EXPECT_FALSE(PumpUntil([&] { return ticks > 0; }, std::chrono::milliseconds(100))) << "a timer waits for its start";
    timer.Start(10);
    EXPECT_TRUE(PumpUntil([&] { return ticks >= 3; }));
    timer.Stop();
    const int stoppedAt = ticks;
    PumpUntil([] { return false; }, std::chrono::milliseconds(100));
    EXPECT_EQ(ticks, stoppedAt);
}

TEST_F(WindowForm, ARunEndsWhenTheWindowClosesAndTheHandlerHasRun) {
    bool closing = false;
    form_->WhenClosing([&] { closing = true; });
    form_->RunUntilClosed([&] {
        EXPECT_TRUE(form_->IsOpen());
        form_->Close();
    });
    EXPECT_TRUE(closing);
    EXPECT_FALSE(form_->IsOpen());
}

TEST_F(WindowForm, ClosingTheOpenDialogsAnswersAQuestionNo) {
    form_->Show();
    Timer& closer = form_->AddTimer("closer", 200, [] { CloseOpenDialogs(); });
    closer.Start(200);
    const auto begin = std::chrono::steady_clock::now();
    EXPECT_FALSE(AskYesNo(form_.get(), Message("确认退出程序？"), Message("确认退出")));
    EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(5));
    closer.Stop();
}

}  // namespace
}  // namespace velkor
