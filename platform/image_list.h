#pragma once
// How a host names the disk images the library offers as drives: lists in the
// environment that carry any path byte for byte, and why an image cannot be offered.
// Shared by the library's drive table and the launchers, so that both tell the
// same reason for the same file.
#include <string>
#include <string_view>
#include <vector>

namespace velkor {

// Names the images to offer after the machine's drives; the first one offered is selected at start.
inline constexpr char kImagesVariable[] = "VELKOR_IMAGES";
// Names images offered after those, never selected at start (the demo card beside real drives).
inline constexpr char kExtraImagesVariable[] = "VELKOR_EXTRA_IMAGES";

// Returns paths one a line, each byte that is '%', a control character or not ASCII
// written as %XX, so that any path (any byte but NUL) survives an environment variable.
std::string EncodeImageList(const std::vector<std::string>& paths);

// Returns the paths of an EncodeImageList text in order (blank lines skipped). A
// plain path per line reads as itself, and so does a '%' not followed by two hex digits.
std::vector<std::string> DecodeImageList(std::string_view text);

// Returns path made absolute against the working directory, links resolved when it
// exists; path unchanged when it is relative and the working directory cannot be read.
std::string AbsoluteImagePath(const std::string& path);

// Returns why the file at path cannot be offered as a drive ("No such file or
// directory", "is a directory, not an image file", "is empty" ...); empty when it can.
std::string ImageUnusableReason(const std::string& path);

// Returns path as text fit to show: valid UTF-8 with every control character and
// every byte that is not UTF-8 written as \n, \t, \r or \xHH.
std::string PrintablePath(std::string_view path);

}  // namespace velkor
