#pragma once
// Whether a directory lies on the drive that is being recovered.
#include <string>

namespace velkor {

// Returns true when files written into directory would land on the volume of
// letter or on another volume of the same physical drive. An image file's own
// bytes are never written by saving beside it, so a directory next to an image is allowed.
bool DirectoryLiesOnDrive(const std::string& directory, const std::string& letter);

// Returns true when path names the very file or device the bytes of letter come
// from (an image saved beside itself under a listed name), which a save must not replace.
bool PathIsDriveSource(const std::string& path, const std::string& letter);

}  // namespace velkor
