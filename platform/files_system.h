#pragma once
// What the system-free half of the file services asks of the system.
#include <string>

namespace velkor {

// The directory of the running executable, without a trailing separator.
std::string ExecutableDirectory();

}  // namespace velkor
