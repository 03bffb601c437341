// picvet: judges the candidate in tem.tem and writes a one-byte verdict to ini.ini,
// both in its own directory. It shows no window and takes no arguments.
#include <string>

#include "platform/files.h"
#include "platform/picture_measure.h"

int main() {
    using namespace velkor;
    const std::string directory = ProgramDirectory();
    const std::string verdictPath = directory + "/ini.ini";
    // Rejection stands until the measurement says otherwise, so a crash below rejects.
    WriteWholeFile(verdictPath, BytesOf("0"));
    const FileMapping candidate(directory + "/tem.tem");
    const bool accepted = IsLargeEnough(MeasurePicture(candidate.View()));
    WriteWholeFile(verdictPath, BytesOf(accepted ? "1" : "0"));
    return 0;
}
