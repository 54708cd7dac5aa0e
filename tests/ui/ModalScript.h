#pragma once
// Drives the modal windows a test's action opens, one after another: message
// boxes are recorded and answered, entry dialogs filled by a step of the
// test. Shared by the tests of the register's dialogs.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QMetaObject>
#include <QTimer>
#include <QWidget>

#include <cstddef>
#include <functional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace modalscript {

struct Box {
    std::string text;
    QMessageBox::Icon icon;
    bool operator==(const Box& other) const { return text == other.text && icon == other.icon; }
};

inline std::ostream& operator<<(std::ostream& out, const Box& box)
{
    return out << "{\"" << box.text << "\", icon " << static_cast<int>(box.icon) << "}";
}

// Runs the steps, in order, on the modal windows that open while `action`
// runs: each step gets the window that is active when its turn comes (a box
// that opens from a step is the next step's). A window nobody expected is
// closed and counted, so a test never hangs on it.
class ModalScript {
public:
    using Step = std::function<void(QWidget*)>;

    explicit ModalScript(std::vector<Step> script) : steps(std::move(script))
    {
        poll.setInterval(5);
        QObject::connect(&poll, &QTimer::timeout, [this] { Tick(); });
    }

    void Run(const std::function<void()>& action)
    {
        poll.start();
        action();
        poll.stop();
    }

    size_t done = 0;
    int unexpected = 0;

private:
    void Tick()
    {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || modal == last)
            return;
        last = modal;
        if (done == steps.size()) {
            ++unexpected;
            if (auto* box = qobject_cast<QMessageBox*>(modal))
                box->button(box->standardButtons().testFlag(QMessageBox::Ok) ? QMessageBox::Ok : QMessageBox::No)
                    ->click();
            else if (auto* dialog = qobject_cast<QDialog*>(modal))
                dialog->reject();
            return;
        }
        // Not from inside the tick: Qt does not fire a timer again while its
        // own slot runs, and a step may open the next box.
        const size_t index = done++;
        QMetaObject::invokeMethod(
            &poll, [this, index, modal] { steps[index](modal); }, Qt::QueuedConnection);
    }

    std::vector<Step> steps;
    QWidget* last = nullptr;
    QTimer poll;
};

// A step: records the box and presses `button`.
inline ModalScript::Step Answer(std::vector<Box>& boxes, QMessageBox::StandardButton button = QMessageBox::Ok)
{
    return [&boxes, button](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_NE(box, nullptr);
        boxes.push_back({box->text().toStdString(), box->icon()});
        box->button(button)->click();
    };
}

// Runs action; every box that opens is recorded and answered with OK.
inline std::vector<Box> BoxesOf(const std::function<void()>& action, int expected)
{
    std::vector<Box> boxes;
    std::vector<ModalScript::Step> steps;
    for (int i = 0; i < expected; ++i)
        steps.push_back(Answer(boxes));
    ModalScript script(steps);
    script.Run(action);
    EXPECT_EQ(script.unexpected, 0);
    return boxes;
}

}  // namespace modalscript
