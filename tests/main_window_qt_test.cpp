// The Qt window's own side, offscreen: its widgets' places, names, menus and sizes, its
// application's lifecycle, closing inside every nested loop, and the disks of Linux itself.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <QAbstractItemView>
#include <QAction>
#include <QFileDialog>
#include <QMessageBox>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <utility>

#include "carving/scan_engine.h"
#include "device/scan_state.h"
#include "device/raw_reader.h"
#include "platform/drive_table.h"
#include "platform/files.h"
#include "platform/image_list.h"
#include "platform/window_runtime_qt.h"
#include "shell/main_window.h"
#include "tests/support/qt_support.h"
#include "tests/support/test_support.h"
#include "tests/support/window_on_card.h"

namespace velkor {
namespace {

using testing::MakeJpeg;
using testing::ModalAnswerer;
using testing::ScratchDir;

class Window : public testing::WindowOnCard {
protected:
    void SetUp() override { OpenOnCard("card.img"); }

    QAction* Action(const char* text) const {
        for (QAction* action : Widget().findChildren<QAction*>()) {
            if (action->text() == QString::fromUtf8(text)) return action;
        }
        ADD_FAILURE() << "no action " << text;
        return nullptr;
    }
    ByteSet Saved(const ScratchDir& dir, int k) const {
        return ReadWholeFile(dir.File(std::to_string(10000000 + k) + ".jpg"));
    }
};

TEST_F(Window, HasEveryControlAtItsPlaceWithItsName) {
    EXPECT_EQ(Widget().windowTitle(), "Velkor v1.4（Ostrand）");
    const struct {
        const char* name;
        QRect geometry;
    } controls[] = {{"驱动器框1", {5, 8, 139, 22}},    {"按钮1", {148, 8, 56, 24}},   {"按钮3", {214, 8, 56, 24}},
                    {"进度条1", {288, 8, 288, 22}},    {"透明标签1", {586, 8, 43, 22}}, {"树型框1", {5, 40, 139, 392}},
                    {"图片框1", {145, 40, 488, 392}},  {"状态条1", {0, 435, 634, 20}},  {"代码编辑框1", {504, 56, 56, 272}},
                    {"目录编辑框1", {288, 472, 72, 24}}, {"动画物体1", {150, 703, 1, 1}}};
    for (const auto& control : controls) {
        QWidget* widget = Find<QWidget>(control.name);
        ASSERT_NE(widget, nullptr);
        EXPECT_EQ(widget->geometry(), control.geometry) << control.name;
    }
    EXPECT_EQ(Find<QPushButton>("按钮1")->text(), "扫描");
    EXPECT_EQ(Find<QPushButton>("按钮3")->text(), "保存");
    EXPECT_FALSE(Find<QWidget>("代码编辑框1")->isVisible());
    EXPECT_FALSE(Find<QWidget>("目录编辑框1")->visibleRegion().intersects(Widget().centralWidget()->rect()));
    EXPECT_EQ(Find<QTimer>("时钟1")->interval(), 200);
    EXPECT_EQ(Find<QComboBox>("驱动器框1")->font().pixelSize(), 14);
    EXPECT_EQ(Find<QtDriveBox>("驱动器框1")->SelectedLetter(), "C");
    EXPECT_EQ(TheScanState().DeviceSectors, 4000) << "the created step selects the drive";
}

TEST_F(Window, MenusOfferTheRecoverCommandsAndAPlainAbout) {
    QStringList menus;
    for (QAction* action : Widget().menuBar()->actions()) menus << action->text();
    EXPECT_EQ(menus, (QStringList{"恢复", "关于"}));
    EXPECT_EQ(Action("全选")->shortcut(), QKeySequence(QStringLiteral("Ctrl+A")));
    EXPECT_FALSE(Action("反选")->shortcut().isEmpty());
    EXPECT_EQ(Action("退出")->shortcut(), QKeySequence(QStringLiteral("Ctrl+Q")));
    Action("关于我们")->trigger();
    ASSERT_EQ(answerer_.messages.size(), 1u);
    EXPECT_FALSE(answerer_.messages[0].text.contains("http"));
}

TEST_F(Window, RightClickOnTheTreePopsUpTheRecoverMenu) {
    QString popped;
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
            popped = menu->title();
            menu->close();
        }
    });
    watcher.start(2);
    emit Tree().customContextMenuRequested(QPoint(10, 10));
    EXPECT_EQ(popped, "恢复");
}
TEST_F(Window, SelectingAnEntryPreviewsIt) {
    Scan();
    Tree().setCurrentItem(Tree().topLevelItem(2));
    EXPECT_EQ(Find<QtPictureBox>("图片框1")->pixmap().size(), QSize(100, 60));
}

TEST_F(Window, TheDriveBoxTellsTheSizeInTheStatusBarsUnits) {
    const QString box = Find<QtDriveBox>("驱动器框1")->currentText();
    EXPECT_TRUE(box.endsWith(QString::fromStdString("(" + SizeText(4000 * 512) + ")"))) << box.toStdString();
}

// A long scan of a slow drive tells its read speed and the time left in the status bar;
// a save tells the files saved. The progress bar and its label stay as they are.
TEST_F(Window, ASlowScanTellsItsSpeedAndTimeLeftAndASaveTheFilesSaved) {
    window_.reset();
    testing::SizeFile(image_, 4 * kChunkBytes);
    window_ = std::make_unique<MainWindow>();
    window_->Form().Show();
    SimulateBandwidth(image_, 100'000'000);
    auto* results = Find<QLabel>("状态条1.2");
    std::vector<std::string> seen;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] { seen.push_back(results->text().toStdString()); });
    watch.start(50);
    Scan();
    ClearInjectedFaults();
    watch.stop();
    const auto told = [&](const char* what) {
        return std::any_of(seen.begin(), seen.end(), [&](const std::string& text) { return text.find(what) != std::string::npos; });
    };
    EXPECT_TRUE(told("正在估算读取速度"));
    EXPECT_TRUE(told(" MB/s，还需约 ")) << "the speed and the time left, once a second of reading has passed";
    const testing::ScratchDir target;
    Save(target.Path());
    EXPECT_EQ(results->text().toStdString().rfind("已保存 3 / 3 张", 0), 0u) << results->text().toStdString();
    EXPECT_TRUE(testing::RunEventsUntil([&] { return results->text() == "找到 3 张照片，已勾选 3 张"; }, 2000));
}

TEST_F(Window, TheDriveListShowsEveryLineWhole) {
    auto* drives = Find<QtDriveBox>("驱动器框1");
    const std::string longName = media_.File(std::string(60, 'n') + ".img");
    testing::SizeFile(longName, 2000 * 512);
    ArrangeDriveTable({{0, image_}, {1, longName}}, {{.letter = "C", .source = image_, .diskNumber = 0},
                                                     {.letter = "D", .source = longName, .diskNumber = 1}});
    drives->Refresh();
    ASSERT_EQ(drives->count(), 2);
    EXPECT_GE(drives->view()->minimumWidth(), drives->fontMetrics().horizontalAdvance(drives->itemText(1)))
        << "the open list is wide enough for the longest line";
    EXPECT_LT(drives->width(), drives->fontMetrics().horizontalAdvance(drives->itemText(1)))
        << "the closed box is narrower, so its text has to be shortened";
}

TEST_F(Window, ExitAnsweredNoChangesNothingAndYesCloses) {
    Scan();
    Tree().SetTick(0, false);
    answerer_.answer = QMessageBox::No;
    Action("退出")->trigger();
    ASSERT_EQ(answerer_.messages.size(), 1u);
    EXPECT_EQ(answerer_.messages[0].text, "确认退出程序？");
    EXPECT_EQ(answerer_.messages[0].title, "确认退出");
    EXPECT_EQ(answerer_.messages[0].icon, QMessageBox::Question);
    EXPECT_TRUE(window_->Form().IsOpen());
    EXPECT_EQ(Tree().Count(), 3);
    EXPECT_EQ(Tree().Tick(0), 0);
    answerer_.answer = QMessageBox::Yes;
    Action("退出")->trigger();
    EXPECT_TRUE(testing::RunEventsUntil([&] { return !window_->Form().IsOpen(); }));
}

TEST(WindowLifecycle, ClosingTheWindowEndsItWithoutAQuestion) {
    ASSERT_TRUE(BindWindowRuntime());
    ModalAnswerer answerer;
    QTimer::singleShot(50, [] { TheMainWindow()->Form().Close(); });
    OpenMainWindow();
    EXPECT_EQ(TheMainWindow(), nullptr);
    EXPECT_TRUE(answerer.messages.empty());
}

TEST(WindowLifecycle, ImagesThatCannotBeOfferedAreToldWhenTheWindowOpens) {
    ASSERT_TRUE(BindWindowRuntime());
    ScratchDir dir;
    const std::string missing = dir.File("missing.img");
    setenv(kImagesVariable, EncodeImageList({missing, dir.Path()}).c_str(), 1);
    UseDiscoveredDriveTable();
    ModalAnswerer answerer;
    QTimer::singleShot(300, [] { TheMainWindow()->Form().Close(); });
    OpenMainWindow();
    unsetenv(kImagesVariable);
    ASSERT_EQ(answerer.messages.size(), 1u);
    const QString text = answerer.messages[0].text;
    EXPECT_EQ(answerer.messages[0].icon, QMessageBox::Warning);
    EXPECT_TRUE(text.contains(QString::fromStdString(missing))) << text.toStdString();
    EXPECT_TRUE(text.contains(std::strerror(ENOENT))) << text.toStdString();
    EXPECT_TRUE(text.contains(QString::fromStdString(dir.Path()))) << "the directory too: " << text.toStdString();
}

// The real window, opened the way the library opens it, closed by a real close
// event at one moment of a person's use; each moment is tried many times, since a
// close that frees the window under a running loop does not crash every time.
class CloseAtAnyMoment : public ::testing::Test {
protected:
    static constexpr int kRuns = 20;
    static constexpr std::int64_t kSectors = 3 * 100000;

    static void SetUpTestSuite() { ASSERT_TRUE(BindWindowRuntime()); }

    void SetUp() override {
        image_ = media_.File("card.img");
        testing::SizeFile(image_, kSectors * 512);
        // Pictures in the first and the last chunk, so a scan closed at its first
        // picture still has most of the card ahead of it.
        for (const std::int64_t sector : {100, 600, 2 * 100000 + 100}) {
            testing::PlaceBytes(image_, sector * 512, testing::PadJpegTo(MakeJpeg(80, 60, {.seed = 7}), 10 * 512));
        }
        testing::UseImageAsDriveC(image_, kSectors);
    }
    void TearDown() override { UseDiscoveredDriveTable(); }

    // Opens the window, lets step drive it every two milliseconds until it closes the
    // window, and returns how long the window stayed open after the close.
    std::chrono::milliseconds Run(const std::function<void(QtMainForm&)>& step) {
        std::chrono::steady_clock::time_point closedAt{};
        QTimer driver;
        QObject::connect(&driver, &QTimer::timeout, [&] {
            MainWindow* opened = TheMainWindow();
            if (opened == nullptr || !opened->Form().IsOpen()) return;
            QtMainForm& window = QtWindowOf(opened->Form());
            step(window);
            if (!window.isVisible() && closedAt == std::chrono::steady_clock::time_point{}) {
                closedAt = std::chrono::steady_clock::now();
            }
        });
        driver.start(2);
        OpenMainWindow();
        driver.stop();
        EXPECT_EQ(TheMainWindow(), nullptr) << "the window is gone once it has returned";
        return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - closedAt);
    }

    template <typename T>
    static T* Find(QWidget& window, const char* name) {
        return window.findChild<T*>(QString::fromUtf8(name));
    }
    static void Later(QObject* context, std::function<void()> action) { QTimer::singleShot(0, context, std::move(action)); }
    static bool ScanRunning(QWidget& window) { return Find<QPushButton>(window, "按钮1")->text() == ToQString(StopCaption()); }
    // The scan must have been stopped by the close, not have run to the card's end.
    static void ExpectStoppedByTheClose() {
        EXPECT_GT(TheScanState().ScanPosition, TheScanState().DeviceSectors + 100000) << "the close stopped the scan";
    }

    testing::ScratchProgramDirectory programDir_;
    ScratchDir media_;
    std::string image_;
};

TEST_F(CloseAtAnyMoment, RightAfterScanIsClicked) {
    for (int run = 0; run < kRuns; ++run) {
        bool clicked = false;
        Run([&](QtMainForm& window) {
            if (std::exchange(clicked, true)) return;
            // Both queued: the close arrives inside the scan's first round of events.
            Later(&window, [&window] { Find<QPushButton>(window, "按钮1")->click(); });
            Later(&window, [&window] { window.close(); });
        });
        ExpectStoppedByTheClose();
    }
}

TEST_F(CloseAtAnyMoment, WhileAFoundPictureIsSelectedDuringTheScan) {
    for (int run = 0; run < kRuns; ++run) {
        bool clicked = false;
        const auto stayedOpen = Run([&](QtMainForm& window) {
            if (!std::exchange(clicked, true)) return Later(&window, [&window] { Find<QPushButton>(window, "按钮1")->click(); });
            auto* tree = Find<QtTreeBox>(window, "树型框1");
            if (!ScanRunning(window) || tree->Count() == 0) return;
            Later(&window, [&window] { window.close(); });
            tree->setCurrentItem(tree->topLevelItem(0));
        });
        ExpectStoppedByTheClose();
        EXPECT_LT(stayedOpen, std::chrono::seconds(5));
    }
}

TEST_F(CloseAtAnyMoment, WhileTheFolderChooserIsOpen) {
    for (int run = 0; run < kRuns; ++run) {
        const char* next = "按钮1";
        Run([&](QtMainForm& window) {
            QWidget* modal = QApplication::activeModalWidget();
            if (auto* box = qobject_cast<QMessageBox*>(modal)) return box->button(QMessageBox::Ok)->click();
            if (qobject_cast<QFileDialog*>(modal) != nullptr) {
                window.close();
                return;
            }
            if (next == nullptr || ScanRunning(window)) return;
            const char* button = std::exchange(next, std::strcmp(next, "按钮1") == 0 ? "按钮3" : nullptr);
            Later(&window, [&window, button] { Find<QPushButton>(window, button)->click(); });
        });
    }
}

TEST_F(CloseAtAnyMoment, WhileTheCompletionMessageIsShownAndDuringAPreviewAtIdle) {
    for (int run = 0; run < kRuns; ++run) {
        const bool inPreview = run % 2 == 1;
        bool clicked = false;
        Run([&](QtMainForm& window) {
            if (!std::exchange(clicked, true)) return Later(&window, [&window] { Find<QPushButton>(window, "按钮1")->click(); });
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box == nullptr) return;
            if (!inPreview) {
                window.close();
                return;
            }
            box->button(QMessageBox::Ok)->click();
            Later(&window, [&window] {
                auto* tree = Find<QtTreeBox>(window, "树型框1");
                Later(&window, [&window] { window.close(); });
                tree->setCurrentItem(tree->topLevelItem(2));
            });
        });
    }
}

TEST_F(CloseAtAnyMoment, DuringASave) {
    ScratchDir out;
    for (int run = 0; run < kRuns; ++run) {
        const char* next = "按钮1";
        Run([&](QtMainForm& window) {
            QWidget* modal = QApplication::activeModalWidget();
            if (auto* box = qobject_cast<QMessageBox*>(modal)) return box->button(QMessageBox::Ok)->click();
            if (auto* chooser = qobject_cast<QFileDialog*>(modal)) {
                chooser->setDirectory(QString::fromStdString(out.Path()));
                chooser->selectFile(QString::fromStdString(out.Path()));
                QMetaObject::invokeMethod(chooser, "accept", Qt::QueuedConnection);
                Later(&window, [&window] { Later(&window, [&window] { window.close(); }); });
                return;
            }
            if (next == nullptr || ScanRunning(window)) return;
            const char* button = std::exchange(next, std::strcmp(next, "按钮1") == 0 ? "按钮3" : nullptr);
            Later(&window, [&window, button] { Find<QPushButton>(window, button)->click(); });
        });
        for (const std::string& name : testing::NamesIn(out.Path())) {
            EXPECT_EQ(name.find(".part-"), std::string::npos) << "a closed save leaves no temporary: " << name;
        }
    }
}
// The chooser asks with its prompt; the bar and its label follow the save; the drive watch
// goes on after a save and after a cancelled one.
TEST_F(Window, ASaveAsksWithItsPromptShowsItsProgressAndKeepsWatchingTheDrives) {
    Scan();
    Tree().SetTick(1, false);
    std::vector<int> bar;
    QObject::connect(Find<QProgressBar>("进度条1"), &QProgressBar::valueChanged, [&](int value) { bar.push_back(value); });
    ScratchDir out;
    Save(out.Path());
    EXPECT_EQ(answerer_.lastChooserTitle, "请不要保存到当前扫描的盘符 以免覆盖");
    ASSERT_EQ(answerer_.Count("保存完成"), 1);
    EXPECT_EQ(bar, (std::vector<int>{33, 66, 100}));
    EXPECT_EQ(Find<QLabel>("透明标签1")->text(), "100%");
    EXPECT_TRUE(Find<QTimer>("时钟1")->isActive());
    Save("");
    EXPECT_EQ(answerer_.foldersOffered, 2);
    EXPECT_TRUE(Find<QTimer>("时钟1")->isActive());
}

TEST_F(Window, TheDriveBoxFollowsDrivesThatComeAndGoAndMeasuresTheSelectionAgain) {
    auto* drives = Find<QtDriveBox>("驱动器框1");
    ASSERT_EQ(drives->count(), 1);
    const std::string other = media_.File("plugged.img");
    testing::SizeFile(other, 2000 * 512);
    ArrangeDriveTable({{0, image_}, {1, other}}, {{.letter = "C", .source = image_, .diskNumber = 0},
                                                  {.letter = "D", .source = other, .diskNumber = 1}});
    EXPECT_TRUE(testing::RunEventsUntil([&] { return drives->count() == 2; }, 3000)) << "a drive plugged in is listed";
    ASSERT_TRUE(drives->SelectLetter("D"));
    EXPECT_EQ(TheScanState().DeviceSectors, 2000);
    ArrangeDriveTable({{0, image_}}, {{.letter = "C", .source = image_, .diskNumber = 0}});
    EXPECT_TRUE(testing::RunEventsUntil([&] { return drives->count() == 1; }, 3000)) << "a drive pulled out is not";
    EXPECT_EQ(TheScanState().SelectedDrive, "C") << "the selection moved off the drive that went away";
    EXPECT_EQ(TheScanState().DeviceSectors, 4000);
}

// The block device that holds path, if it has one in /dev.
std::string BlockDeviceHolding(const std::string& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) return {};
    const std::string link = "/sys/dev/block/" + std::to_string(major(info.st_dev)) + ":" + std::to_string(minor(info.st_dev));
    std::error_code error;
    const auto resolved = std::filesystem::canonical(link, error);
    if (error) return {};
    const std::string device = "/dev/" + resolved.filename().string();
    return std::filesystem::exists(device) ? device : std::string();
}

TEST_F(Window, RefusesToSaveOntoTheDriveBeingRecovered) {
    Scan();
    ScratchDir out;
    const std::string device = BlockDeviceHolding(out.Path());
    if (device.empty()) GTEST_SKIP() << "the temporary directory is not on a block device";
    ArrangeDriveTable({{0, device}}, {{.letter = "C", .source = device, .diskNumber = 0}});
    int offered = 0;
    answerer_.chooseFolder = [&] { return ++offered == 1 ? QString::fromStdString(out.Path()) : QString(); };
    Find<QPushButton>("按钮3")->click();
    EXPECT_EQ(offered, 2) << "the user may choose again";
    ASSERT_EQ(answerer_.messages.size(), 1u);
    EXPECT_EQ(answerer_.messages[0].icon, QMessageBox::Warning);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(out.Path()), {}), 0);
}

}  // namespace
}  // namespace velkor
