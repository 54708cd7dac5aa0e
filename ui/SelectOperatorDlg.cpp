#include "ui/SelectOperatorDlg.h"

#include "core/TextFormat.h"
#include "settings/Settings.h"
#include "ui/MessageBox.h"
#include "ui/OperatorsDlg.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

CSelectOperatorDlg::CSelectOperatorDlg(CSettings& store, int dialogMode, QWidget* parent)
    : QDialog(parent), settings(store), mode(dialogMode)
{
    setWindowTitle(orvabox::Text("IDD_SELECT_OPERATOR_CAPTION"));

    names = new QComboBox(this);  // a list to pick from, no free typing
    names->setEditable(false);
    names->setMinimumContentsLength(COperatorsDlg::kMaxNameLength);
    // The popup container exists from here on; its Show event is the one
    // sign of "drop-down opened" that covers mouse, keyboard and wheel alike.
    names->view()->window()->installEventFilter(this);

    addEdit = new QPushButton(orvabox::Text("IDC_SELECT_OPERATOR_ADD_EDIT"), this);
    addEdit->setAutoDefault(false);
    connect(addEdit, &QPushButton::clicked, this, [this] { OnAddEdit(); });

    countdown = new QLineEdit(this);
    countdown->setReadOnly(true);
    countdown->setFocusPolicy(Qt::NoFocus);

    const orvabox::OkCancel okCancel = orvabox::AddOkCancel(this, [this] { OnOk(); });
    QDialogButtonBox* buttons = okCancel.box;
    ok = okCancel.ok;
    cancel = okCancel.cancel;

    auto* layout = new QVBoxLayout(this);
    auto* row = new QHBoxLayout;
    row->addWidget(names, 1);
    row->addWidget(addEdit);
    layout->addLayout(row);
    layout->addWidget(countdown);
    layout->addWidget(buttons);

    FillList();

    countdownTimer.setInterval(1000);
    connect(&countdownTimer, &QTimer::timeout, this, [this] { OnCountdownTick(); });
    // Cancel, Escape or the close box end the countdown too.
    connect(this, &QDialog::finished, this, [this] { StopCountdown(); });
    if (mode == 1 && !settings.Values().LastOperator.empty()) {
        secondsLeft = kCountdownSeconds;
        countdownRunning = true;
        ShowCountdown();
        countdownTimer.start();
    }
}

QString CSelectOperatorDlg::CountdownText() const
{
    return countdown->text();
}

void CSelectOperatorDlg::FillList()
{
    names->clear();
    for (const std::string& name : settings.Values().Operator) {
        if (!name.empty())
            names->addItem(QString::fromStdString(name));
    }
    // A combo box selects its first entry by itself; the only preselection
    // wanted is the last operator, because the countdown puts whatever is
    // selected on duty.
    names->setCurrentIndex(-1);
    const QString last = QString::fromStdString(settings.Values().LastOperator);
    if (last.isEmpty())
        return;
    for (int i = 0; i < names->count(); ++i) {
        if (names->itemText(i).compare(last, Qt::CaseInsensitive) == 0) {
            names->setCurrentIndex(i);
            return;
        }
    }
}

void CSelectOperatorDlg::ShowCountdown()
{
    countdown->setText(QString::fromStdString(FormatKey("IDS_SELECTOPERATORDLG_MSG_1", {secondsLeft})));
}

void CSelectOperatorDlg::StopCountdown()
{
    countdownTimer.stop();
    countdownRunning = false;
    countdown->clear();
}

void CSelectOperatorDlg::OnCountdownTick()
{
    if (!countdownRunning)
        return;
    --secondsLeft;
    if (secondsLeft > 0) {
        ShowCountdown();
        return;
    }
    StopCountdown();
    OnOk();
}

void CSelectOperatorDlg::OnDropDown()
{
    if (countdownRunning)
        StopCountdown();
}

void CSelectOperatorDlg::OnAddEdit()
{
    StopCountdown();
    COperatorsDlg editor(settings.Values().Operator, this);
    if (editor.exec() != QDialog::Accepted)
        return;
    settings.Values().Operator = editor.GetNames();
    settings.Save();
    FillList();
}

void CSelectOperatorDlg::OnOk()
{
    const int index = names->currentIndex();
    if (index < 0) {
        Beep();
        return;
    }
    StopCountdown();
    chosenName = names->itemText(index).toStdString();
    settings.SaveLastOperator(chosenName);
    accept();
}

void CSelectOperatorDlg::Beep()
{
    ++beeps;
    QApplication::beep();
}

bool CSelectOperatorDlg::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Show && watched == names->view()->window())
        OnDropDown();
    return QDialog::eventFilter(watched, event);
}
