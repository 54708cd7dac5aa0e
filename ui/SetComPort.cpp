#include "ui/SetComPort.h"

#include "tel/SerialPort.h"
#include "ui/MessageBox.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <vector>

CSetComPort::CSetComPort(const QString& caption, int16_t currentPort, QWidget* parent)
    : QDialog(parent), port(currentPort)
{
    setWindowTitle(caption);

    auto* layout = new QVBoxLayout(this);
    const char* const keys[] = {"IDC_SET_COMPORT_UNABLE_TO_OPEN", "IDC_SET_COMPORT_TRY_CHANGING",
                                "IDC_SET_COMPORT_SELECT_CANCEL"};
    for (int i = 0; i < 3; ++i) {
        lines[i] = new QLabel(orvabox::Text(keys[i]), this);
        lines[i]->setAlignment(Qt::AlignCenter);
        layout->addWidget(lines[i]);
    }

    ports = new QComboBox(this);
    ports->setEditable(false);
    // Refill before the drop-down opens: the press or key reaches this filter
    // before the combo box opens its list.
    ports->installEventFilter(this);
    connect(ports, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (!filling)
            port = index < 0 ? 0 : static_cast<int16_t>(ports->itemData(index).toInt());
    });
    layout->addWidget(ports, 0, Qt::AlignHCenter);

    const orvabox::OkCancel okCancel = orvabox::AddOkCancel(this);
    ok = okCancel.ok;
    cancel = okCancel.cancel;
    layout->addWidget(okCancel.box);

    FillPortList();
}

void CSetComPort::FillPortList()
{
    std::vector<ComPortEntry> present = ListComPorts();
    // Sorted by the text the operator reads, with the numbers in numeric
    // order (COM2 before COM10, as everywhere else the ports are listed).
    const auto name = [](const ComPortEntry& entry) {
        return entry.label.substr(0, entry.label.find_first_of("0123456789"));
    };
    std::stable_sort(present.begin(), present.end(), [&name](const ComPortEntry& a, const ComPortEntry& b) {
        const std::string nameA = name(a);
        const std::string nameB = name(b);
        return nameA != nameB ? nameA < nameB : a.number < b.number;
    });

    filling = true;
    ports->clear();
    for (const ComPortEntry& entry : present)
        ports->addItem(QString::fromStdString(entry.label), entry.number);
    // A configured port that has gone shows no selection; the dialog keeps
    // its number until the operator chooses another.
    ports->setCurrentIndex(ports->findData(static_cast<int>(port)));
    filling = false;
}

bool CSetComPort::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == ports && ports->isEnabled()) {
        bool opens = false;
        if (event->type() == QEvent::MouseButtonPress) {
            opens = static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton;
        } else if (event->type() == QEvent::KeyPress) {
            const auto* key = static_cast<QKeyEvent*>(event);
            const bool alt = key->modifiers() & Qt::AltModifier;
            opens = key->key() == Qt::Key_F4 || key->key() == Qt::Key_Space || key->key() == Qt::Key_Select ||
                    (alt && (key->key() == Qt::Key_Down || key->key() == Qt::Key_Up));
        }
        if (opens)
            FillPortList();
    }
    return QDialog::eventFilter(watched, event);
}
