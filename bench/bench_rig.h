#pragma once
// A headless window rig for the benchmarks: the scan's and the save's controls,
// a scratch program directory with picvet, an image as drive C, and automatic
// answers to the window's dialogs.
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <chrono>
#include <memory>
#include <string>

#include "carving/photo_saver.h"
#include "carving/scan_engine.h"
#include "platform/window_runtime_qt.h"
#include "tests/support/qt_support.h"
#include "tests/support/test_support.h"

namespace velkor::bench {

double Seconds(std::chrono::steady_clock::duration duration);

// Median of the samples, in milliseconds.
double MedianMs(std::vector<double> samples);

class Rig {
public:
    // Binds Qt offscreen, copies picvet into a scratch program directory and makes image drive C.
    explicit Rig(const std::string& image);
    ~Rig();
    // Runs a whole scan; returns the wall seconds until it announced its completion.
    double Scan();
    // Saves every ticked entry into directory; returns the wall seconds from the
    // chooser's answer to the end (the deliberate wait before the chooser excluded).
    double Save(const std::string& directory);
    int Found() const { return tree_->Count(); }
    const std::string& ProgramDirectory() const { return program_.Path(); }

private:
    // Qt must exist before any member that owns a timer.
    struct QtBinding {
        QtBinding();
    } binding_;
    testing::ScratchDir program_;
    std::unique_ptr<QtWindow> window_;
    ScanControls scan_;
    SaveControls save_;
    TreeBox* tree_ = nullptr;
    testing::ModalAnswerer answerer_;
};

// Fills path with size bytes of pseudo-random data in which no sector starts with FF D8 FF.
void WriteNoise(const std::string& path, std::int64_t size, std::uint32_t seed);

}  // namespace velkor::bench
