#pragma once
// Answers the window's message boxes from a test, as a user pressing OK would, whichever
// toolkit shows them, and keeps what each said.
#include <memory>
#include <string>
#include <vector>

namespace velkor::testing {

struct AnsweredBox {
    std::string text;
    bool information = false;  // the information icon: a completion; otherwise something went wrong
};

class BoxAnswerer {
public:
    BoxAnswerer();
    ~BoxAnswerer();
    BoxAnswerer(const BoxAnswerer&) = delete;
    BoxAnswerer& operator=(const BoxAnswerer&) = delete;
    // The boxes answered so far, in the order they were shown.
    std::vector<AnsweredBox> Boxes() const;

private:
    struct Backend;
    std::unique_ptr<Backend> backend_;
};

}  // namespace velkor::testing
