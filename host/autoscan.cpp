// velkor-autoscan IMAGE OUTDIR [SCREENSHOT.png]: opens the real window through libvelkor's winhex,
// picks the image's drive, scans, saves everything into OUTDIR and exits, clicking
// the widgets by their object names as a user would. Prints one JSON line, with the
// process's peak resident memory (the validator's runs are separate processes).
// With a screenshot path it also shows a found picture and photographs the window.
#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "host/autoscan_report.h"
#include "host/staging.h"
#include "platform/files.h"
#include "platform/image_list.h"
#include "platform/launcher.h"
#include "platform/window_runtime_qt.h"

namespace {

constexpr char kUsage[] =
    "usage: velkor-autoscan IMAGE OUTDIR [SCREENSHOT.png]\n"
    "Opens Velkor's window, picks the drive of IMAGE, scans it, saves every photo found into\n"
    "OUTDIR and prints one JSON line; with SCREENSHOT.png it also photographs the window.\n"
    "Exits 0 only when the scan and the save completed (\"ok\": true).\n"
    "  --help     show this text and exit\n"
    "  --version  show the version and exit\n";

using velkor::host::Outcome;
using velkor::host::Report;
using velkor::host::Step;

// Returns the absolute path of raw as Qt text; nullopt when that text would name
// other bytes (raw is not UTF-8), since the window's folder chooser only takes text.
std::optional<QString> TextPath(const char* raw) {
    const QString text = QFile::decodeName(raw);
    if (QFile::encodeName(text) != QByteArray(raw)) return std::nullopt;
    return QFileInfo(text).absoluteFilePath();
}

class Driver {
public:
    Driver(std::string image, QString outDir, QString screenshot)
        : image_(std::move(image)), outDir_(std::move(outDir)), screenshot_(std::move(screenshot)) {
        QObject::connect(&timer_, &QTimer::timeout, [this] { Tick(); });
        timer_.start(5);
    }

    // Returns what the run came to once the window has closed.
    Outcome Result() const {
        Outcome outcome = outcome_;
        outcome.saved = QDir(outDir_).entryList(QDir::Files).size();
        if (outcome.failure.empty() && step_ != Step::Done)
            outcome.failure = "the window closed before the save completed";
        return outcome;
    }

private:
    QWidget* Window() const {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (widget->findChild<QComboBox*>(QStringLiteral("驱动器框1")) != nullptr && widget->isVisible()) return widget;
        }
        return nullptr;
    }

    template <typename T>
    T* Control(const char* name) const {
        QWidget* window = Window();
        return window == nullptr ? nullptr : window->findChild<T*>(QString::fromUtf8(name));
    }

    void Click(const char* name) {
        if (auto* button = Control<QPushButton>(name)) QTimer::singleShot(0, button, &QPushButton::click);
    }

    void Tick() {
        if (AnswerModal()) return;
        if (step_ == Step::PickDrive) PickDriveAndScan();
        if (step_ == Step::Previewing && clock_.elapsed() > 500) TakeScreenshotAndSave();
    }

    // Shows a found picture, then photographs the window as the screen shows it.
    void StartPreview() {
        step_ = Step::Previewing;
        clock_.start();
        auto* tree = Control<QTreeWidget>("树型框1");
        if (tree != nullptr && tree->topLevelItemCount() > 0) tree->setCurrentItem(tree->topLevelItem(std::min(2, tree->topLevelItemCount() - 1)));
    }

    void TakeScreenshotAndSave() {
        if (QWidget* window = Window()) {
            const QPixmap shot = window->screen()->grabWindow(0, window->geometry().x(), window->geometry().y(),
                                                              window->frameGeometry().width(), window->frameGeometry().height());
            if (!shot.save(screenshot_) && outcome_.failure.empty())
                outcome_.failure = "cannot write " + screenshot_.toStdString();
        }
        StartSave();
    }

    void StartSave() {
        step_ = Step::Saving;
        clock_.start();
        Click("按钮3");
    }

    // Answers a message box or the folder chooser; true when one was open.
    bool AnswerModal() {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            OnMessage(box->text(), box->icon() == QMessageBox::Information);
            box->button(QMessageBox::Ok) != nullptr ? box->button(QMessageBox::Ok)->click() : box->reject();
            return true;
        }
        if (auto* chooser = qobject_cast<QFileDialog*>(modal)) {
            chooser->setDirectory(outDir_);
            chooser->selectFile(outDir_);
            QMetaObject::invokeMethod(chooser, "accept", Qt::DirectConnection);
            return true;
        }
        return false;
    }

    // The drive of the image, found by its source path byte for byte; -1 when the window offers none.
    int DriveOfImage(const QComboBox& drives) const {
        const QByteArray source = QByteArray::fromStdString(image_);
        for (int i = 0; i < drives.count(); ++i) {
            if (drives.itemData(i, velkor::kDriveSourceRole).toByteArray() == source) return i;
        }
        return -1;
    }

    std::string WhyImageNotOffered() const {
        const std::string reason = velkor::ImageUnusableReason(image_);
        return velkor::PrintablePath(image_) + ": " +
               (reason.empty() ? "the window offers no drive for it" : reason);
    }

    // Scans only the image's own drive: whatever else is selected would report another disk's photos.
    void PickDriveAndScan() {
        auto* drives = Control<QComboBox>("驱动器框1");
        if (drives == nullptr) return;
        const int drive = DriveOfImage(*drives);
        if (drive < 0) {
            Finish(WhyImageNotOffered());
            return;
        }
        drives->setCurrentIndex(drive);
        step_ = Step::Scanning;
        clock_.start();
        bytesAtStart_ = velkor::BytesReadByThisProcess();
        Click("按钮1");
    }

    void Finish(std::string failure) {
        if (outcome_.failure.empty()) outcome_.failure = std::move(failure);
        step_ = Step::Done;
        if (QWidget* window = Window()) QTimer::singleShot(0, window, &QWidget::close);
    }

    // A completion is told with the information icon; anything that went wrong,
    // even in a scan or save that ran to its end, with a warning.
    void OnMessage(const QString& text, bool success) {
        if (step_ != Step::Scanning && step_ != Step::Saving) return;
        if (!success && outcome_.failure.empty()) outcome_.failure = text.toStdString();
        if (step_ == Step::Scanning) {
            outcome_.scanSeconds = static_cast<double>(clock_.nsecsElapsed()) / 1e9;
            outcome_.bytesRead = velkor::BytesReadByThisProcess() - bytesAtStart_;
            if (auto* tree = Control<QTreeWidget>("树型框1")) outcome_.found = tree->topLevelItemCount();
            screenshot_.isEmpty() ? StartSave() : StartPreview();
        } else {
            outcome_.saveSeconds = static_cast<double>(clock_.nsecsElapsed()) / 1e9;
            Finish({});
        }
    }

    std::string image_;
    QString outDir_;
    QString screenshot_;
    QTimer timer_;
    QElapsedTimer clock_;
    Step step_ = Step::PickDrive;
    long long bytesAtStart_ = 0;
    Outcome outcome_;
};

}  // namespace

int main(int argc, char** argv) {
    const std::string_view first = argc > 1 ? argv[1] : "";
    if (argc == 2 && (first == "--help" || first == "-h")) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (argc == 2 && first == "--version") {
        std::printf("velkor-autoscan %s\n", VELKOR_VERSION);
        return 0;
    }
    if (argc != 3 && argc != 4) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    if (const std::optional<int> status = velkor::host::RunStagedWhenInstalled(argv)) return *status;
    const std::string image = velkor::AbsoluteImagePath(argv[1]);
    const std::optional<QString> outDir = TextPath(argv[2]);
    const std::optional<QString> screenshot = argc == 4 ? TextPath(argv[3]) : QString();
    if (!outDir || !screenshot) return Report({.failure = "OUTDIR and SCREENSHOT must be UTF-8 paths"});
    // The folder chooser cannot be answered with a folder that does not exist.
    if (!QDir().mkpath(*outDir)) return Report({.failure = "cannot create OUTDIR " + outDir->toStdString()});
    velkor::SetEnvironmentValue(velkor::kImagesVariable, velkor::EncodeImageList({image}));
    if (getenv("DISPLAY") == nullptr && getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    const std::string library = velkor::host::LibraryPath();
    const auto winhex = velkor::host::LoadWinhex(library);
    if (winhex == nullptr) return 1;
    QApplication application(argc, argv);
    Driver driver(image, *outDir, *screenshot);
    winhex();
    Outcome outcome = driver.Result();
    velkor::host::ReadProbes(library, outcome);
    return Report(outcome);
}
