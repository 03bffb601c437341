#pragma once
// Saving the ticked pictures of the result list into a directory the user chooses.
#include <QString>
#include <cstdint>
#include <string>

class QLabel;
class QProgressBar;
class QTimer;
class QWidget;

namespace velkor {

class DirectoryEditBox;
class TextStore;
class TreeBox;

inline const QString kFolderPrompt = QStringLiteral("请不要保存到当前扫描的盘符 以免覆盖");

// The window's controls a save reads and writes.
struct SaveControls {
    QWidget* window = nullptr;
    TreeBox* 树型框1 = nullptr;
    TextStore* 代码编辑框1 = nullptr;
    DirectoryEditBox* 目录编辑框1 = nullptr;
    QProgressBar* 进度条1 = nullptr;
    QLabel* 透明标签1 = nullptr;
    QTimer* 时钟1 = nullptr;
};

// What a save did.
struct SaveReport {
    bool cancelled = false;
    std::int64_t written = 0;
    std::int64_t failed = 0;
    std::string firstFailedPath;
    std::string firstFailure;
};

// The save action: asks for a directory, writes every ticked picture there as
// exactly its listed sectors, and tells the user how it went.
SaveReport SaveTickedPictures(const SaveControls& controls);

// Saving stops after the current picture: the window is closing.
void AbandonSave();

}  // namespace velkor
