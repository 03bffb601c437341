#pragma once
// The names a save puts photos under, whatever the system: which names it takes, the
// numbered names it falls back on, and the search for the first free one.
#include <cstdint>
#include <functional>
#include <string>

#include "platform/bytes.h"
#include "platform/target_directory.h"

namespace velkor {

// True for a plain file name: not empty, not "." or "..", without a separator or a NUL.
bool IsPlainFileName(const std::string& name);

// "stem-n.ext" for "stem.ext"; a leading dot is a hidden name, not an extension.
std::string NumberedName(const std::string& name, std::int64_t n);

// Why a name given for a photo cannot be used.
std::string NotAFileNameText();

// How putting a written file under a name went.
enum class Placed { kYes, kTaken, kFailed };

// Puts a written file under name, or under the first numbered name that is free, unless one of
// them already holds exactly bytes. place(name) puts it there unless the name exists; holds(name)
// tells whether the file under name holds exactly bytes; failure() says why place failed.
TargetDirectory::Saved PutUnderFreeName(const std::string& name, const std::function<Placed(const std::string&)>& place,
                                        const std::function<bool(const std::string&)>& holds,
                                        const std::function<std::string()>& failure);

}  // namespace velkor
