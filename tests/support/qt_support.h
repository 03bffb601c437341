#pragma once
// Answers the window's modal dialogs from a test, the way a user would.
#include <QMessageBox>
#include <QString>
#include <QTimer>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace velkor::testing {

struct SeenMessage {
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    std::chrono::steady_clock::time_point shownAt;  // when the answerer found it open
};

// While alive, answers every message box with answer and the folder chooser
// with the directory chooseFolder gives (an empty text cancels it).
class ModalAnswerer {
public:
    ModalAnswerer();
    ~ModalAnswerer();
    std::vector<SeenMessage> messages;
    QMessageBox::StandardButton answer = QMessageBox::Ok;
    std::function<QString()> chooseFolder = [] { return QString(); };
    int foldersOffered = 0;
    QString lastChooserTitle;
    // Returns how many messages had this text.
    int Count(const QString& text) const;

private:
    void AnswerModal();
    QTimer timer_;
};

// Lets events run until done() holds or timeout passes; returns done().
bool RunEventsUntil(const std::function<bool()>& done, int timeoutMs = 10000);

}  // namespace velkor::testing
