#pragma once
// The service window for P100 test messages, reached only by its accelerator
// (Ctrl+Alt+Shift+F1). For now it only says that the generator is not part
// of this build; it lives as long as the main window, hidden until asked for,
// and closing it hides it again.

#include <QWidget>

class CP100TestMsgWnd : public QWidget {
public:
    explicit CP100TestMsgWnd(QWidget* owner);

    // Shows the window and brings it to the front.
    void ShowWindow();
};
