#include "ui/P100TestMsgWnd.h"

#include <QLabel>
#include <QVBoxLayout>

CP100TestMsgWnd::CP100TestMsgWnd(QWidget* owner) : QWidget(owner, Qt::Window)
{
    // A service window for engineers: its texts are not in the dictionary.
    setWindowTitle(QStringLiteral("P100 test message"));
    setObjectName(QStringLiteral("P100TestMsgWnd"));
    auto* layout = new QVBoxLayout(this);
    auto* label = new QLabel(QStringLiteral("The P100 test message generator is not available yet."), this);
    label->setObjectName(QStringLiteral("P100TestMsgLabel"));
    layout->addWidget(label);
}

void CP100TestMsgWnd::ShowWindow()
{
    show();
    raise();
    activateWindow();
}
