// Waiting in the GUI thread while Qt delivers events, and answering modal
// message boxes from a timer so that no test ever blocks on one.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <chrono>
#include <thread>
#include <vector>

namespace QtWait {

// Runs the GUI thread's event loop until condition holds; false when the
// (generous) patience ran out.
template <typename Condition>
bool processUntil(Condition condition,
                  std::chrono::milliseconds patience = std::chrono::seconds(30)) {
    const auto deadline = std::chrono::steady_clock::now() + patience;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

struct SeenBox {
    QString title, text, informative, details;
};

// Answers every modal message box that opens while it lives: a question
// with questionAnswer, any other box with OK (or its default button).
// Keeps what each box said.
class BoxAnswerer {
  public:
    BoxAnswerer() {
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box || box == answered_) return;
            answered_ = box;
            seen.push_back(
                {box->windowTitle(), box->text(), box->informativeText(), box->detailedText()});
            QAbstractButton* button = box->button(questionAnswer);
            if (!button) button = box->button(QMessageBox::Ok);
            if (!button) button = box->defaultButton();
            button->click();
        });
        timer_.start();
    }

    // The boxes' main texts, in the order they opened.
    std::vector<QString> texts() const {
        std::vector<QString> all;
        for (const SeenBox& box : seen) all.push_back(box.text);
        return all;
    }

    QMessageBox::StandardButton questionAnswer = QMessageBox::Yes;
    std::vector<SeenBox> seen;

  private:
    QTimer timer_;
    // Becomes null when the box goes away, so the next box is answered even
    // if it reuses the address.
    QPointer<QMessageBox> answered_;
};

}  // namespace QtWait
