#pragma once
// Saving the ticked pictures of the result list into a directory the user chooses.
#include "platform/message.h"
#include <cstdint>
#include <string>

#include "platform/window_runtime.h"


namespace velkor {

class DirectoryEditBox;
class TextStore;
class TreeBox;

// The folder chooser's prompt, in the window's language.
inline Message FolderPrompt() { return Words::tr("请不要保存到当前扫描的盘符 以免覆盖"); }

// The window's controls a save reads and writes.
struct SaveControls {
    Window* window = nullptr;
    TreeBox* 树型框1 = nullptr;
    TextStore* 代码编辑框1 = nullptr;
    DirectoryEditBox* 目录编辑框1 = nullptr;
    ProgressBar* 进度条1 = nullptr;
    Label* 透明标签1 = nullptr;
    Timer* 时钟1 = nullptr;
    Label* statusText = nullptr;  // the status bar's field for the files saved and the time left; may be absent
};

// What a save did.
struct SaveReport {
    bool cancelled = false;
    std::int64_t written = 0;  // photos on the target now, those found there already included
    std::int64_t renamed = 0;  // of them, saved under a free name because theirs held another file
    std::int64_t partial = 0;  // of them, saved with sectors that could not be read (zeros stand in)
    std::int64_t failed = 0;   // photos not saved at all
    std::string firstRenamed;  // the name the first renamed photo got
    std::string firstFailedPath;
    std::string firstFailure;
};

// The save action: asks for a directory, writes every ticked picture there as
// exactly its listed sectors, read from the drive they were found on, keeps any
// file already there, makes the files durable and tells the user how it went.
SaveReport SaveTickedPictures(const SaveControls& controls);

// Saving stops after the current picture: the window is closing.
void AbandonSave();

}  // namespace velkor
