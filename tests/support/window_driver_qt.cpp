#include "tests/support/window_driver.h"

#include <QAction>
#include <QLabel>
#include <QPushButton>

#include <stdexcept>
#include <string>

#include "platform/window_runtime_qt.h"

namespace velkor::testing {

struct WindowDriver::Backend {
    QtMainForm& form;
    template <typename T>
    T& Find(const char* name) const {
        T* control = form.findChild<T*>(QString::fromUtf8(name));
        if (control == nullptr) throw std::runtime_error(std::string("no control ") + name);
        return *control;
    }
};

WindowDriver::WindowDriver(MainWindow& window) : backend_(new Backend{QtWindowOf(window.Form())}) {}

WindowDriver::~WindowDriver() = default;

void WindowDriver::ClickScan() { backend_->Find<QPushButton>("按钮1").click(); }

void WindowDriver::ClickSave() { backend_->Find<QPushButton>("按钮3").click(); }

void WindowDriver::Choose(const std::string& caption) {
    for (QAction* action : backend_->form.findChildren<QAction*>()) {
        if (action->text().toStdString() == caption) {
            action->trigger();
            return;
        }
    }
    throw std::runtime_error("no menu command " + caption);
}

int WindowDriver::Entries() const { return backend_->Find<QtTreeBox>("树型框1").Count(); }

int WindowDriver::Ticked() const {
    const QtTreeBox& tree = backend_->Find<QtTreeBox>("树型框1");
    int ticked = 0;
    for (int i = 0; i < tree.Count(); ++i) ticked += tree.Tick(i);
    return ticked;
}

void WindowDriver::SetTick(int index, bool ticked) { backend_->Find<QtTreeBox>("树型框1").SetTick(index, ticked); }

std::string WindowDriver::StatusField(int field) const {
    return backend_->Find<QLabel>(field == 0 ? "状态条1.1" : "状态条1.2").text().toStdString();
}

}  // namespace velkor::testing
