#pragma once
// Answers the window's message boxes from a test, as a user pressing OK would, and its folder
// chooser with the folder the test names, whichever toolkit shows them; keeps what each box said.
#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace velkor::testing {

struct AnsweredBox {
    std::string title;
    std::string text;
    bool information = false;  // the information icon: a completion; otherwise something went wrong
    std::chrono::steady_clock::time_point shownAt;  // when the answerer found it open
};

class BoxAnswerer {
public:
    BoxAnswerer();
    ~BoxAnswerer();
    BoxAnswerer(const BoxAnswerer&) = delete;
    BoxAnswerer& operator=(const BoxAnswerer&) = delete;
    // The boxes answered so far, in the order they were shown.
    std::vector<AnsweredBox> Boxes() const;
    // How many of those said exactly text.
    int Count(const std::string& text) const {
        const std::vector<AnsweredBox> boxes = Boxes();
        return static_cast<int>(std::count_if(boxes.begin(), boxes.end(), [&](const AnsweredBox& box) { return box.text == text; }));
    }
    // Forgets the boxes answered so far.
    void Forget();
    // The folder the chooser is answered with from now on; an empty text cancels it.
    void ChooseFolder(const std::string& folder);
    // How many times the folder chooser was offered.
    int FoldersOffered() const;

private:
    struct Backend;
    std::unique_ptr<Backend> backend_;
};

}  // namespace velkor::testing
