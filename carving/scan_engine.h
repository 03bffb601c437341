#pragma once
// The scan: walks the selected drive chunk by chunk, cuts JPEG candidates at
// sector starts, has them judged and lists the accepted ones. Also the preview.
#include "platform/message.h"
#include <cstdint>
#include <string>

#include "platform/bytes.h"
#include "platform/window_runtime.h"


namespace velkor {

class DriveBox;
class PictureBox;
class TextStore;
class TreeBox;

inline constexpr std::int32_t kFirstResultNumber = 10000000;
// A candidate must be longer than this many sectors to be listed.
inline constexpr std::int64_t kMinimumListedSectors = 5;
inline constexpr std::int64_t kStopPosition = 55555555555;

// The Scan button's two captions, in the window's language.
inline Message ScanCaption() { return Words::tr("扫描"); }
inline Message StopCaption() { return Words::tr("停止"); }

// The window's controls the scan and the preview read and write.
struct ScanControls {
    Window* window = nullptr;
    Button* 按钮1 = nullptr;
    DriveBox* 驱动器框1 = nullptr;
    ProgressBar* 进度条1 = nullptr;
    TreeBox* 树型框1 = nullptr;
    TextStore* 代码编辑框1 = nullptr;
    PictureBox* 图片框1 = nullptr;
};

// The Scan button's action: starts a scan when the caption is "扫描", stops the
// running one otherwise. Runs on the window's thread, letting events run between sector slots.
void ScanButtonAction(const ScanControls& controls);

// Shows the tree's current entry in the picture box (re-read from the drive it was found on).
void Preview(const ScanControls& controls);

// Returns why the drive the listed results were found on can no longer be read as
// that drive (removed, or another device under its letter); empty when it can.
std::string WhyResultsDriveIsGone();

// Ends a running scan without any message: the window is closing.
void AbandonScan();

// The value of ScanPosition that stops a scan of a drive of deviceSectors sectors.
std::int64_t StopPositionFor(std::int64_t deviceSectors);

}  // namespace velkor
