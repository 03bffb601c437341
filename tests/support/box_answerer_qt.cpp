#include "tests/support/box_answerer.h"

#include "tests/support/qt_support.h"

namespace velkor::testing {

struct BoxAnswerer::Backend {
    ModalAnswerer answerer;
};

BoxAnswerer::BoxAnswerer() : backend_(std::make_unique<Backend>()) {}

BoxAnswerer::~BoxAnswerer() = default;

std::vector<AnsweredBox> BoxAnswerer::Boxes() const {
    std::vector<AnsweredBox> boxes;
    for (const SeenMessage& seen : backend_->answerer.messages) {
        boxes.push_back({seen.title.toStdString(), seen.text.toStdString(), seen.icon == QMessageBox::Information, seen.shownAt});
    }
    return boxes;
}

void BoxAnswerer::Forget() { backend_->answerer.messages.clear(); }

void BoxAnswerer::ChooseFolder(const std::string& folder) {
    const QString chosen = QString::fromStdString(folder);
    backend_->answerer.chooseFolder = [chosen] { return chosen; };
}

int BoxAnswerer::FoldersOffered() const { return backend_->answerer.foldersOffered; }

}  // namespace velkor::testing
