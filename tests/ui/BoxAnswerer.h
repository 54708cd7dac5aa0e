#pragma once
// Answers every message box that opens while it lives with one button, and
// remembers the texts the boxes asked. Polls, so it also catches a box that
// opens inside a nested event loop.

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QObject>
#include <QString>
#include <QTimer>

#include <string>
#include <vector>

class BoxAnswerer {
public:
    // pollMs: how soon after opening a box is answered.
    explicit BoxAnswerer(QMessageBox::StandardButton answer, int pollMs = 5) : button(answer)
    {
        poll.setInterval(pollMs);
        QObject::connect(&poll, &QTimer::timeout, [this] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                asked.push_back(box->text().toStdString());
                box->button(button)->click();
            }
        });
        poll.start();
    }

    std::vector<std::string> asked;

private:
    QMessageBox::StandardButton button;
    QTimer poll;
};
