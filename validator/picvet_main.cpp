// picvet: judges the candidate in tem.tem and writes a one-byte verdict to ini.ini,
// both in its own directory. It shows no window and takes no arguments. It exits
// with 0 only when its verdict is written; velkor counts anything else as a
// candidate that could not be judged.
#include <string>

#include "platform/files.h"
#include "platform/picture_measure.h"

namespace {

constexpr int kVerdictNotWritten = 3;

}  // namespace

int main() {
    using namespace velkor;
    const std::string directory = ProgramDirectory();
    const std::string verdictPath = directory + "/ini.ini";
    // Rejection stands until the measurement says otherwise, so a crash below rejects.
    if (!WriteWholeFile(verdictPath, BytesOf("0"))) return kVerdictNotWritten;
    const FileMapping candidate(directory + "/tem.tem");
    const bool accepted = IsLargeEnough(MeasurePicture(candidate.View()));
    return WriteWholeFile(verdictPath, BytesOf(accepted ? "1" : "0")) ? 0 : kVerdictNotWritten;
}
