// A case that hangs under Wine would otherwise sit out ctest's time limit and say nothing. This
// watch, linked into every Windows suite, ends a case that runs far longer than any case does,
// and first prints what the suite's thread has open: its windows, each dialog's text and, for a
// folder chooser, where its tree stands. It reads them without a message to that thread where it
// can, and with a bounded one where it cannot, so that a thread that no longer pumps is told too.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "host/thread_dialogs_win32.h"
#include "platform/windows_text.h"

namespace velkor::testing {
namespace {

using host::ClassOf;

constexpr auto kPatience = std::chrono::seconds(150);
constexpr UINT kAnswerWithinMs = 2000;

std::string TextOf(HWND window) {
    wchar_t text[512] = {};
    ::InternalGetWindowText(window, text, 512);
    return Narrow(text);
}

// Asks the tree without waiting on its thread for longer than kAnswerWithinMs; false when it did not answer.
bool AskTree(HWND tree, UINT message, WPARAM w, LPARAM l, DWORD_PTR& answer) {
    return ::SendMessageTimeoutW(tree, message, w, l, SMTO_NORMAL, kAnswerWithinMs, &answer) != 0;
}

std::string ItemText(HWND tree, HTREEITEM item) {
    const std::optional<std::wstring> text = host::TreeItemText(tree, item);
    return text ? Narrow(*text) : "<no answer>";
}

// Every item the tree has read, indented under its parent, the selected one marked: a folder the
// tree lacks, or has under an older name, shows which of its readings went stale.
void DescribeItems(HWND tree, HTREEITEM first, HTREEITEM caret, int depth, int& budget) {
    for (HTREEITEM item = first; item != nullptr && budget > 0; --budget) {
        std::fprintf(stderr, "      %*s%s%s\n", 2 * depth, "", ItemText(tree, item).c_str(), item == caret ? "  <- selected" : "");
        DWORD_PTR answer = 0;
        if (AskTree(tree, TVM_GETNEXTITEM, TVGN_CHILD, reinterpret_cast<LPARAM>(item), answer) && answer != 0) {
            DescribeItems(tree, reinterpret_cast<HTREEITEM>(answer), caret, depth + 1, budget);
        }
        if (!AskTree(tree, TVM_GETNEXTITEM, TVGN_NEXT, reinterpret_cast<LPARAM>(item), answer)) return;
        item = reinterpret_cast<HTREEITEM>(answer);
    }
}

void DescribeChild(HWND child) {
    const std::wstring name = ClassOf(child);
    if (name == WC_TREEVIEWW) {
        DWORD_PTR caret = 0;
        DWORD_PTR root = 0;
        if (!AskTree(child, TVM_GETNEXTITEM, TVGN_CARET, 0, caret) || !AskTree(child, TVM_GETNEXTITEM, TVGN_ROOT, 0, root)) {
            std::fprintf(stderr, "      tree: <no answer>\n");
            return;
        }
        std::fprintf(stderr, "      tree:\n");
        int budget = 300;
        DescribeItems(child, reinterpret_cast<HTREEITEM>(root), reinterpret_cast<HTREEITEM>(caret), 1, budget);
        return;
    }
    const std::string text = TextOf(child);
    if (!text.empty()) std::fprintf(stderr, "      %s \"%s\"\n", Narrow(name).c_str(), text.c_str());
}

void DescribeThread(DWORD thread) {
    // Any window of the thread will do to learn afterwards whether it still handles messages.
    HWND any = nullptr;
    ::EnumThreadWindows(
        thread,
        [](HWND window, LPARAM data) -> BOOL {
            *reinterpret_cast<HWND*>(data) = window;
            std::fprintf(stderr, "  %s \"%s\"%s%s\n", Narrow(ClassOf(window)).c_str(), TextOf(window).c_str(),
                         ::IsWindowVisible(window) ? " visible" : " hidden", ::IsWindowEnabled(window) ? "" : " disabled");
            if (::IsWindowVisible(window)) {
                ::EnumChildWindows(
                    window,
                    [](HWND child, LPARAM) -> BOOL {
                        DescribeChild(child);
                        return TRUE;
                    },
                    0);
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&any));
    if (any == nullptr) return;
    DWORD_PTR ignored = 0;
    const bool pumps = ::SendMessageTimeoutW(any, WM_NULL, 0, 0, SMTO_NORMAL, kAnswerWithinMs, &ignored) != 0;
    std::fprintf(stderr, "  the thread %s messages\n", pumps ? "still handles" : "no longer handles");
}

// What the watching thread waits on. It is made once and never destroyed: the thread runs until
// the process ends, after GoogleTest has deleted its listeners.
struct Watched {
    std::mutex mutex;
    std::condition_variable changed;
    std::string name;
    std::uint64_t started = 0;
    DWORD thread = 0;
    std::chrono::steady_clock::time_point deadline;
    bool running = false;
};

[[noreturn]] void Watch(Watched& w) {
    std::unique_lock<std::mutex> lock(w.mutex);
    for (;;) {
        w.changed.wait(lock, [&w] { return w.running; });
        const std::uint64_t watched = w.started;
        if (w.changed.wait_until(lock, w.deadline, [&w, watched] { return !w.running || w.started != watched; })) continue;
        std::fprintf(stderr, "\n%s has run %lld s, longer than any case takes; what its thread has open:\n",
                     w.name.c_str(), static_cast<long long>(kPatience.count()));
        DescribeThread(w.thread);
        std::fflush(stderr);
        std::_Exit(3);
    }
}

class HangWatch final : public ::testing::EmptyTestEventListener {
public:
    HangWatch() : watched_(*new Watched) { std::thread([&w = watched_] { Watch(w); }).detach(); }

    void OnTestStart(const ::testing::TestInfo& test) override {
        const std::lock_guard<std::mutex> lock(watched_.mutex);
        watched_.name = std::string(test.test_suite_name()) + "." + test.name();
        ++watched_.started;
        watched_.thread = ::GetCurrentThreadId();
        watched_.deadline = std::chrono::steady_clock::now() + kPatience;
        watched_.running = true;
        watched_.changed.notify_all();
    }
    void OnTestEnd(const ::testing::TestInfo&) override {
        const std::lock_guard<std::mutex> lock(watched_.mutex);
        watched_.running = false;
        watched_.changed.notify_all();
    }

private:
    Watched& watched_;
};

// Set up before main, as GoogleTest lets listeners join until the cases run; it owns the listener.
const bool kWatching = [] {
    ::testing::UnitTest::GetInstance()->listeners().Append(new HangWatch);
    return true;
}();

}  // namespace
}  // namespace velkor::testing
