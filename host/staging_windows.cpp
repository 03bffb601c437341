#include "host/staging.h"

namespace velkor::host {

// A Windows copy runs from the folder it was unpacked into, where the user may write the
// scratch files: there is no installed copy to stage.
std::optional<int> RunStagedWhenInstalled(char**) { return std::nullopt; }

}  // namespace velkor::host
