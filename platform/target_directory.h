#pragma once
// The directory a save writes photos into. It is opened once and every file is created, put in
// place and removed relative to that handle: the photos follow the folder the user chose when it is
// moved during the save, nothing appears at its old path, a file already there is never replaced,
// and a failed save leaves nothing behind.
#include <cstdint>
#include <optional>
#include <string>

#include "platform/bytes.h"

namespace velkor {

class TargetDirectory {
public:
    // How a written file is put under its name without replacing one, from the most capable way
    // down. A file system that lacks one gets the next; tests open lower down to run those paths.
    enum class Placing {
        kAnonymousLink,    // an unnamed file linked in only once it is whole
        kRenameNoReplace,  // a ".part-" file renamed by a rename that refuses to replace
        kHardLink,         // a ".part-" file hard-linked under the name, then unlinked
        kCheckThenRename,  // a ".part-" file renamed after checking that the name is free
    };

    // What Save did with one photo.
    struct Saved {
        enum class Kind {
            kWritten,               // under the name asked for
            kWrittenUnderFreeName,  // the name was taken by other content; under "stem-N.ext" instead
            kAlreadyThere,          // a file under name (or a numbered one) already held exactly these bytes
            kFailed,
        };
        Kind kind = Kind::kFailed;
        std::string name;    // the name the photo is under; the name asked for when it failed
        std::string reason;  // why it failed; empty otherwise
    };

    // The highest N tried in "stem-N.ext" before a save gives up.
    static constexpr std::int64_t kMostNumberedNames = 10000;

    // Returns the directory at path held open; nullopt with the reason when it cannot be opened.
    static std::optional<TargetDirectory> Open(const std::string& path, std::string& reason,
                                               Placing first = Placing::kAnonymousLink);

    TargetDirectory(TargetDirectory&& other) noexcept;
    TargetDirectory& operator=(TargetDirectory&& other) noexcept;
    TargetDirectory(const TargetDirectory&) = delete;
    TargetDirectory& operator=(const TargetDirectory&) = delete;
    ~TargetDirectory();

    // Saves bytes as name, a plain file name without '/'. Returns how, or kFailed with the reason;
    // a failed save leaves no temporary behind unless its reason names one the file system would not
    // let go. The photo is not yet durable: call MakeDurable before telling anyone it is saved.
    Saved Save(const std::string& name, ByteView bytes);

    // Returns true once every file saved so far has reached the disk; false with the reason when
    // the file system reports that it could not, which fails those saves.
    bool MakeDurable(std::string& reason);

private:
    TargetDirectory(std::intptr_t descriptor, Placing placing) : descriptor_(descriptor), placing_(placing) {}
    std::intptr_t descriptor_ = -1;  // the system's descriptor or handle
    Placing placing_ = Placing::kAnonymousLink;
    std::int64_t temporariesMade_ = 0;
};

}  // namespace velkor
