// velkor-autoscan IMAGE OUTDIR [SCREENSHOT.png]: opens the real window through libvelkor's winhex,
// picks the image's drive, scans, saves everything into OUTDIR and exits, clicking
// the widgets by their object names as a user would. Prints one JSON line, with the
// process's peak resident memory (the validator's runs are separate processes).
// With a screenshot path it also shows a found picture and photographs the window.
#include <dlfcn.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "host/own_directory.h"

namespace {

enum class Step { PickDrive, Scanning, Previewing, Saving, Done };

// Bytes this process has read through read-like calls so far.
long long BytesReadSoFar() {
    std::ifstream io("/proc/self/io");
    std::string key;
    long long value = 0;
    while (io >> key >> value) {
        if (key == "rchar:") return value;
    }
    return 0;
}

// This process's peak resident memory in KiB (VmHWM), 0 when it cannot be read.
long long PeakResidentKib() {
    std::ifstream status("/proc/self/status");
    std::string key;
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmHWM:", 0) == 0) return std::atoll(line.c_str() + 6);
    }
    return 0;
}

class Driver {
public:
    Driver(QString image, QString outDir, QString screenshot)
        : image_(std::move(image)), outDir_(std::move(outDir)), screenshot_(std::move(screenshot)) {
        QObject::connect(&timer_, &QTimer::timeout, [this] { Tick(); });
        timer_.start(5);
    }

    // Prints the JSON line; returns false when the scan or the save did not complete.
    bool Print() const {
        std::printf("{\"found\": %d, \"saved\": %lld, \"scan_seconds\": %.3f, \"save_seconds\": %.3f, "
                    "\"bytes_read\": %lld, \"peak_rss_kb\": %lld, \"ok\": %s}\n",
                    found_, static_cast<long long>(QDir(outDir_).entryList(QDir::Files).size()), scanSeconds_,
                    saveSeconds_, bytesRead_, PeakResidentKib(), failure_.isEmpty() ? "true" : "false");
        if (!failure_.isEmpty()) std::fprintf(stderr, "velkor-autoscan: %s\n", qPrintable(failure_));
        return failure_.isEmpty() && step_ == Step::Done;
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
            if (!shot.save(screenshot_)) failure_ = QStringLiteral("cannot write ") + screenshot_;
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

    void PickDriveAndScan() {
        auto* drives = Control<QComboBox>("驱动器框1");
        if (drives == nullptr) return;
        const QString name = QFileInfo(image_).fileName();
        for (int i = 0; i < drives->count(); ++i) {
            if (drives->itemText(i).contains(name)) drives->setCurrentIndex(i);
        }
        step_ = Step::Scanning;
        clock_.start();
        bytesAtStart_ = BytesReadSoFar();
        Click("按钮1");
    }

    // A completion is told with the information icon; anything that went wrong,
    // even in a scan or save that ran to its end, with a warning.
    void OnMessage(const QString& text, bool success) {
        if (step_ == Step::Scanning) {
            scanSeconds_ = static_cast<double>(clock_.nsecsElapsed()) / 1e9;
            bytesRead_ = BytesReadSoFar() - bytesAtStart_;
            if (auto* tree = Control<QTreeWidget>("树型框1")) found_ = tree->topLevelItemCount();
            if (!success && failure_.isEmpty()) failure_ = text;
            screenshot_.isEmpty() ? StartSave() : StartPreview();
        } else if (step_ == Step::Saving) {
            saveSeconds_ = static_cast<double>(clock_.nsecsElapsed()) / 1e9;
            if (!success && failure_.isEmpty()) failure_ = text;
            step_ = Step::Done;
            if (QWidget* window = Window()) QTimer::singleShot(0, window, &QWidget::close);
        }
    }

    QString image_;
    QString outDir_;
    QString screenshot_;
    QTimer timer_;
    QElapsedTimer clock_;
    Step step_ = Step::PickDrive;
    int found_ = 0;
    double scanSeconds_ = 0;
    double saveSeconds_ = 0;
    long long bytesAtStart_ = 0;
    long long bytesRead_ = 0;
    QString failure_;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: velkor-autoscan IMAGE OUTDIR [SCREENSHOT.png]\n");
        return 2;
    }
    const QString screenshot = argc == 4 ? QFileInfo(QString::fromLocal8Bit(argv[3])).absoluteFilePath() : QString();
    const QString image = QFileInfo(QString::fromLocal8Bit(argv[1])).absoluteFilePath();
    const QString outDir = QFileInfo(QString::fromLocal8Bit(argv[2])).absoluteFilePath();
    QDir().mkpath(outDir);
    setenv("VELKOR_IMAGES", image.toLocal8Bit().constData(), 1);
    if (getenv("DISPLAY") == nullptr && getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    const std::string library = velkor::host::OwnDirectory() + "/libvelkor.so";
    void* handle = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        std::fprintf(stderr, "velkor-autoscan: %s\n", dlerror());
        return 1;
    }
    auto* winhex = reinterpret_cast<void (*)()>(dlsym(handle, "winhex"));
    if (winhex == nullptr) return 1;
    QApplication application(argc, argv);
    Driver driver(image, outDir, screenshot);
    winhex();
    return driver.Print() ? 0 : 1;
}
