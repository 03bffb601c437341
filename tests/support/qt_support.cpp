#include "tests/support/qt_support.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QFileDialog>

namespace velkor::testing {

ModalAnswerer::ModalAnswerer() {
    QObject::connect(&timer_, &QTimer::timeout, [this] { AnswerModal(); });
    timer_.start(2);
}

ModalAnswerer::~ModalAnswerer() { timer_.stop(); }

int ModalAnswerer::Count(const QString& text) const {
    int count = 0;
    for (const SeenMessage& message : messages) count += message.text == text ? 1 : 0;
    return count;
}

void ModalAnswerer::AnswerModal() {
    QWidget* modal = QApplication::activeModalWidget();
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        messages.push_back({box->windowTitle(), box->text(), box->icon(), std::chrono::steady_clock::now()});
        QAbstractButton* button = box->button(answer);
        if (button == nullptr) button = box->buttons().value(0);
        button->click();
    } else if (auto* chooser = qobject_cast<QFileDialog*>(modal)) {
        ++foldersOffered;
        lastChooserTitle = chooser->windowTitle();
        const QString folder = chooseFolder();
        if (folder.isEmpty()) {
            chooser->reject();
        } else {
            chooser->setDirectory(folder);
            chooser->selectFile(folder);
            QMetaObject::invokeMethod(chooser, "accept", Qt::DirectConnection);
        }
    }
}

bool RunEventsUntil(const std::function<bool()>& done, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < timeoutMs) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return done();
}

}  // namespace velkor::testing
