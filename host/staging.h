#pragma once
// The program directory of an installed Velkor. The directory a package installs
// the launcher, the library and the validator into is read-only, while the program
// directory must take the scratch files, and must never lie on a disk being
// recovered. The launcher then copies what runs into a private directory in memory
// (a tmpfs), runs the copy from there, waits for it and removes the directory.
#include <optional>
#include <string>

namespace velkor::host {

// The file a package installs beside the launchers: root may write to their directory,
// yet it is still an installed one.
inline constexpr char kInstalledMark[] = "velkor.installed";

// When the running launcher's own directory is not writable, or holds kInstalledMark, stages the launcher,
// libvelkor.so and picvet, runs the staged launcher with argv and returns its exit
// status (128 + the signal when a signal ended it) once the directory is gone again.
// Returns nothing, having run nothing, when the directory is writable (a build tree)
// or when no private directory in memory can be made (the window then says that a
// scan cannot write its scratch files).
std::optional<int> RunStagedWhenInstalled(char** argv);

// A new private directory (mode 0700) in memory: under $XDG_RUNTIME_DIR, under /run
// for root, or under /dev/shm, whichever lies on tmpfs first. Empty when none does.
std::string MakePrivateMemoryDirectory();

}  // namespace velkor::host
