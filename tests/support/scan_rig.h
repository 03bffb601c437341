#pragma once
// A fixture for the scan suites: the scan's controls on a main form of the window runtime,
// whichever toolkit makes them, a scratch program directory with the real picvet, and an image
// file as drive C.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "carving/photo_saver.h"
#include "carving/scan_engine.h"
#include "device/partition_locator.h"
#include "device/scan_state.h"
#include "platform/drive_table.h"
#include "platform/files.h"
#include "platform/window_runtime.h"
#include "tests/support/box_answerer.h"
#include "tests/support/test_support.h"

namespace velkor::testing {

// Why a case that resizes an image after it was chosen is cut short where that makes the image
// another file: Wine gives a file a new creation time when it is written.
inline constexpr char kResizeMakesAnotherFile[] = "this system takes a resized image for another file";

class ScanRig : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(BindWindowRuntime()); }

    void SetUp() override { image_ = media_.File("card.img"); }

    void TearDown() override {
        ClearInjectedFaults();
        form_.reset();
        UseDiscoveredDriveTable();
    }

    // Makes the image a card of sectors sectors, with a fresh window around it. The card
    // becomes drive C when it is scanned (or Choose() says so), once the test has put its
    // bytes in place: some systems (Wine) take a write to a chosen card for another card.
    void UseImage(std::int64_t sectors) {
        sectors_ = sectors;
        SizeFile(image_, sectors * 512);
        chosen_ = false;
        OpenWindow();
    }

    void Put(std::int64_t sector, const ByteSet& bytes, std::int64_t extraOffset = 0) {
        PlaceBytes(image_, sector * 512 + extraOffset, bytes);
        chosen_ = false;
    }

    // Makes the image drive C and selects it in the drive box, as a user choosing the card.
    void Choose() {
        ArrangeDriveTable({{0, image_}}, {{.letter = "C", .source = image_, .diskNumber = 0}});
        SelectDrive(*c_.驱动器框1);
        chosen_ = true;
        ASSERT_EQ(TheScanState().DeviceSectors, sectors_);
    }

    // Scans; a scan never writes to the drive it reads, so a card small enough to hash
    // cheaply must come out of every scan unchanged unless the test changes it itself.
    void Scan() {
        if (!chosen_) Choose();
        constexpr std::uintmax_t kHashedUpTo = 64 << 20;
        std::error_code error;
        const std::uintmax_t size = std::filesystem::file_size(image_, error);
        const bool hashed = sourceMustStay_ && !error && size <= kHashedUpTo;
        const std::string before = hashed ? FileFingerprint(image_) : std::string();
        ScanButtonAction(c_);
        if (hashed) {
            EXPECT_EQ(FileFingerprint(image_), before) << "the scan wrote to its source";
        }
    }

    // Stops its timer when it goes, so that a tick never outlives what it looks at.
    class During {
    public:
        explicit During(Timer& timer) : timer_(timer) {}
        During(const During&) = delete;
        During& operator=(const During&) = delete;
        ~During() { timer_.Stop(); }

    private:
        Timer& timer_;
    };

    // Runs tick every millisecond, from inside the events the scan runs, until it returns true.
    [[nodiscard]] During WhileScanning(std::function<bool()> tick) {
        auto timer = std::make_shared<Timer*>(nullptr);
        *timer = &form_->AddTimer("during", 1, [tick = std::move(tick), timer] {
            if (tick()) (*timer)->Stop();
        });
        (*timer)->Start(1);
        return During(**timer);
    }

    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (int i = 0; i < c_.树型框1->Count(); ++i) names.push_back(c_.树型框1->Text(i));
        return names;
    }
    std::string Line(int n) const { return c_.代码编辑框1->Line(n); }
    // Where entry lies, as "sector+length".
    std::string Location(int entry) const { return Line(2 * entry) + "+" + Line(2 * entry + 1); }
    static std::string At(std::int64_t sector, std::int64_t length) {
        return std::to_string(sector) + "+" + std::to_string(length);
    }
    // The one box the last action showed; fails the test when there was not exactly one.
    AnsweredBox OnlyBox() const {
        const std::vector<AnsweredBox> boxes = answerer_.Boxes();
        EXPECT_EQ(boxes.size(), 1u);
        return boxes.empty() ? AnsweredBox{} : boxes.back();
    }
    static bool Says(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }
    std::string ValidatorFile() const { return programDir_.File("picvet") + kProgramSuffix; }

    ScratchProgramDirectory programDir_;
    ScratchDir media_;
    std::string image_;
    std::int64_t sectors_ = 0;
    bool chosen_ = false;
    std::unique_ptr<MainForm> form_;
    ScanControls c_;
    SaveControls s_;
    bool sourceMustStay_ = true;
    BoxAnswerer answerer_;

private:
    void OpenWindow() {
        form_.reset();
        form_ = MakeMainForm(Message("Velkor"), 634, 455);
        c_.window = form_.get();
        c_.按钮1 = &form_->AddButton("按钮1", {148, 5, 55, 25}, ScanCaption(), [] {});
        c_.驱动器框1 = &form_->AddDriveBox("驱动器框1", {5, 5, 138, 25}, [] {});
        c_.进度条1 = &form_->AddProgressBar("进度条1", {288, 5, 290, 25});
        c_.树型框1 = &form_->AddTreeBox("树型框1", {5, 40, 139, 392}, [] {}, [] {});
        c_.代码编辑框1 = &form_->AddTextStore("代码编辑框1", {0, 0, 0, 0});
        c_.图片框1 = &form_->AddPictureBox("图片框1", {146, 40, 488, 392});
        s_ = {c_.window, c_.树型框1, c_.代码编辑框1, &form_->AddDirectoryEditBox("目录编辑框1", {0, 0, 0, 0}),
              c_.进度条1, &form_->AddLabel("透明标签1", {580, 5, 50, 25}), &form_->AddTimer("时钟1", 200, [] {}),
              nullptr};
        form_->Show();
    }
};

}  // namespace velkor::testing
