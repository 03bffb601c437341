#pragma once
// Drives the tool's real main window from a test as a user would, whichever toolkit shows it:
// its buttons, its menu commands, the ticks of its list and the fields of its status bar.
#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "shell/main_window.h"

namespace velkor::testing {

class WindowDriver {
public:
    explicit WindowDriver(MainWindow& window);
    ~WindowDriver();
    WindowDriver(const WindowDriver&) = delete;
    WindowDriver& operator=(const WindowDriver&) = delete;

    // Clicks 按钮1 (Scan, or Stop while a scan runs) and returns once its action has.
    void ClickScan();
    // Clicks 按钮3 (Save) and returns once its action has.
    void ClickSave();
    // Chooses the menu command with caption (without its shortcut) and returns once it has run.
    void Choose(const std::string& caption);
    // The entries listed, and how many of them are ticked.
    int Entries() const;
    int Ticked() const;
    // Ticks or unticks entry index as a click on its check box would.
    void SetTick(int index, bool ticked);
    // The text of the status bar's field (0: the drive, 1: the results).
    std::string StatusField(int field) const;
    // Lets the window's events run for about milliseconds (its timers update the status bar).
    static void RunEventsFor(int milliseconds) {
        EventPump pump;
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
        while (std::chrono::steady_clock::now() < until) {
            pump.PumpNow();
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }

private:
    struct Backend;
    std::unique_ptr<Backend> backend_;
};

}  // namespace velkor::testing
