// velkor-autoscan IMAGE OUTDIR: opens the real window through velkor.dll's winhex, scans
// the image's drive, saves everything into OUTDIR and exits, clicking the Win32 controls
// and answering the message boxes and the folder chooser as a user would. Prints one
// JSON line, with the process's peak working set (the validator's runs are processes of
// their own).
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "host/autoscan_report.h"
#include "host/thread_dialogs_win32.h"
#include "platform/files.h"
#include "platform/image_list.h"
#include "platform/launcher.h"
#include "platform/windows_text.h"

namespace {

using velkor::host::Outcome;
using velkor::host::Step;

constexpr char kUsage[] =
    "usage: velkor-autoscan IMAGE OUTDIR\n"
    "Opens Velkor's window on IMAGE, scans it, saves every photo found into OUTDIR and\n"
    "prints one JSON line. Exits 0 only when the scan and the save completed (\"ok\": true).\n"
    "  --help     show this text and exit\n"
    "  --version  show the version and exit\n";

constexpr UINT kTickMilliseconds = 20;

using velkor::host::FormButton;
using velkor::host::ThreadMainForm;

class Driver {
public:
    Driver(std::wstring outDir) : outDir_(std::move(outDir)) { the_ = this; }

    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) { the_->OnTick(); }

    Outcome Result(const std::string& outDir) const {
        Outcome outcome = outcome_;
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator(velkor::Widen(outDir), error)) {
            outcome.saved += entry.is_regular_file(error) ? 1 : 0;
        }
        if (outcome.failure.empty() && step_ != Step::Done) outcome.failure = "the window closed before the save completed";
        return outcome;
    }

private:
    void OnTick() {
        if (AnswerDialog()) return;
        if (step_ == Step::PickDrive) StartScan();
    }

    static void Click(int which) {
        if (HWND button = FormButton(ThreadMainForm(), which)) ::PostMessageW(button, BM_CLICK, 0, 0);
    }

    // The window starts on the first image it was given: the one named on the command line.
    void StartScan() {
        if (ThreadMainForm() == nullptr) return;
        step_ = Step::Scanning;
        started_ = std::chrono::steady_clock::now();
        bytesAtStart_ = velkor::BytesReadByThisProcess();
        Click(0);
    }

    void StartSave() {
        step_ = Step::Saving;
        started_ = std::chrono::steady_clock::now();
        Click(1);
    }

    void Finish(std::string failure) {
        if (outcome_.failure.empty()) outcome_.failure = std::move(failure);
        step_ = Step::Done;
        if (HWND form = ThreadMainForm()) ::PostMessageW(form, WM_CLOSE, 0, 0);
    }

    double Elapsed() const {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
    }

    // Answers a message box or the folder chooser; true when one was open.
    bool AnswerDialog() {
        for (HWND dialog : velkor::host::ThreadDialogs()) {
            if (velkor::host::IsFolderChooser(dialog)) {
                if (velkor::host::SelectFolder(dialog, outDir_)) velkor::host::PressOk(dialog);
                return true;
            }
            OnMessage(velkor::host::BoxText(dialog), velkor::host::ShowsInformation(dialog));
            velkor::host::PressOk(dialog);
            return true;
        }
        return false;
    }

    // A completion is told with the information icon (32516, IDI_INFORMATION); anything
    // that went wrong, even in a scan or save that ran to its end, with a warning.
    void OnMessage(const std::string& text, bool success) {
        if (step_ != Step::Scanning && step_ != Step::Saving) {
            Finish(text);
            return;
        }
        if (!success && outcome_.failure.empty()) outcome_.failure = text;
        if (step_ == Step::Scanning) {
            outcome_.scanSeconds = Elapsed();
            outcome_.bytesRead = velkor::BytesReadByThisProcess() - bytesAtStart_;
            HWND tree = velkor::host::Descendant(ThreadMainForm(), WC_TREEVIEWW);
            outcome_.found = tree == nullptr ? 0 : static_cast<int>(::SendMessageW(tree, TVM_GETCOUNT, 0, 0));
            StartSave();
        } else {
            outcome_.saveSeconds = Elapsed();
            Finish({});
        }
    }

    static Driver* the_;
    std::wstring outDir_;
    Step step_ = Step::PickDrive;
    std::chrono::steady_clock::time_point started_;
    long long bytesAtStart_ = 0;
    Outcome outcome_;
};

Driver* Driver::the_ = nullptr;

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> arguments = velkor::LauncherArguments(argc, argv);
    const std::string first = arguments.empty() ? "" : arguments[0];
    if (arguments.size() == 1 && (first == "--help" || first == "-h")) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (arguments.size() == 1 && first == "--version") {
        std::printf("velkor-autoscan %s\n", VELKOR_VERSION);
        return 0;
    }
    if (arguments.size() != 2) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const std::string image = velkor::AbsoluteImagePath(arguments[0]);
    if (const std::string reason = velkor::ImageUnusableReason(image); !reason.empty()) {
        return velkor::host::Report({.failure = velkor::PrintablePath(image) + ": " + reason});
    }
    std::error_code error;
    const std::filesystem::path outDir = std::filesystem::absolute(velkor::Widen(arguments[1]), error);
    // The folder chooser cannot be answered with a folder that does not exist.
    if (error || (std::filesystem::create_directories(outDir, error), !std::filesystem::is_directory(outDir, error))) {
        return velkor::host::Report({.failure = "cannot create OUTDIR " + arguments[1]});
    }
    velkor::host::ReadyToChoose(outDir.wstring());
    velkor::SetEnvironmentValue(velkor::kImagesVariable, velkor::EncodeImageList({image}));
    const std::string library = velkor::host::LibraryPath();
    const auto winhex = velkor::host::LoadWinhex(library);
    if (winhex == nullptr) return 1;
    Driver driver(outDir.wstring());
    // A thread timer ticks inside every loop the window runs, the message boxes' included.
    ::SetTimer(nullptr, 0, kTickMilliseconds, &Driver::Tick);
    winhex();
    velkor::host::Outcome outcome = driver.Result(velkor::Narrow(outDir.wstring()));
    velkor::host::ReadProbes(library, outcome);
    return velkor::host::Report(outcome);
}
