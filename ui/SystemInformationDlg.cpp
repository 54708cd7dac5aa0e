#include "ui/SystemInformationDlg.h"

#include "core/TextLookup.h"
#include "core/Version.h"
#include "ui/ColumnFit.h"
#include "ui/MessageBox.h"
#include "ui/MessagePanel.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QScreen>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace {

const char* const kLogSource = "SysInfo";
constexpr int kInformationWidth = 550;
constexpr int kTimeWidth = 110;

}  // namespace

CSystemInformationDlg::CSystemInformationDlg(QWidget* parent, bool writeLog) : QDialog(parent)
{
    setModal(false);
    setWindowTitle(orvabox::Text("IDC_SYSTEM_INFO_CAPTION"));

    header = new CMessagePanel(this);
    header->SetBkColor(QColor(255, 0, 0));
    header->SetText(orvabox::Text("IDC_SYSTEM_INFO_MESSAGE_PANEL"));

    list = new QTreeWidget(this);
    list->setColumnCount(2);
    list->setHeaderLabels(
        {orvabox::Text("IDS_SYSTEMINFORMATIONDLG_MSG_1"), orvabox::Text("IDS_SYSTEMINFORMATIONDLG_MSG_2")});
    list->setRootIsDecorated(false);
    list->setItemsExpandable(false);
    list->setUniformRowHeights(true);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->header()->setStretchLastSection(false);
    // The usual widths, or what the font needs for the titles and for a whole
    // time when that is more.
    const QString longestTime =
        columnfit::WidestDigits(FormatTime(QDateTime(QDate(2000, 1, 1), QTime(0, 0))), list->fontMetrics());
    list->setColumnWidth(0, std::max(kInformationWidth, columnfit::FittedColumnWidth(*list, 0, {})));
    list->setColumnWidth(1, std::max(kTimeWidth, columnfit::FittedColumnWidth(*list, 1, {longestTime})));
    list->setMinimumWidth(list->columnWidth(0) + list->columnWidth(1) + 24);

    deleteButton = new QPushButton(orvabox::Text("IDC_SYSTEM_INFO_DELETE"), this);
    clearButton = new QPushButton(orvabox::Text("IDC_SYSTEM_INFO_CLEAR"), this);
    closeButton = new QPushButton(orvabox::Text("IDC_SYSTEM_INFO_CLOSE"), this);
    for (QPushButton* button : {deleteButton, clearButton, closeButton})
        button->setAutoDefault(false);
    connect(deleteButton, &QPushButton::clicked, this, [this] { OnDelete(); });
    connect(clearButton, &QPushButton::clicked, this, [this] { OnClear(); });
    // QDialog hides itself on reject (also for Escape and the close box);
    // the rows stay for the next look.
    connect(closeButton, &QPushButton::clicked, this, &QDialog::hide);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(deleteButton);
    buttons->addWidget(clearButton);
    buttons->addStretch(1);
    buttons->addWidget(closeButton);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(header);
    layout->addWidget(list, 1);
    layout->addLayout(buttons);

    if (writeLog) {
        log = std::make_unique<CLogFile>("SystemInfo", kLogLines);
        log->Log(kLogSource, std::string("Startup - Ver. ") + kProductVersion);
    }
}

CSystemInformationDlg::~CSystemInformationDlg()
{
    if (log)
        log->Log(kLogSource, "Shutdown");
}

QString CSystemInformationDlg::FormatTime(const QDateTime& time)
{
    const QDate date = time.date();
    const QTime clock = time.time();
    return QString::asprintf("%02d-%02d-%02d  %02d:%02d:%02d", date.year() - 2000, date.month(), date.day(),
                             clock.hour(), clock.minute(), clock.second());
}

void CSystemInformationDlg::AddSystemInfo(const std::string& text, bool popUp)
{
    auto* row = new QTreeWidgetItem;
    row->setText(0, QString::fromStdString(text));
    row->setText(1, FormatTime(QDateTime::currentDateTime()));
    list->insertTopLevelItem(0, row);
    WidenForText(row->text(0));
    if (popUp) {
        ShowPanel();
        Beep();
    }
    while (list->topLevelItemCount() > kMaxRows)
        delete list->takeTopLevelItem(list->topLevelItemCount() - 1);
    if (log)
        log->Log(kLogSource, text);
}

void CSystemInformationDlg::WidenForText(const QString& text)
{
    // A line that is cut short cannot be read: the column (and the panel,
    // as far as the screen allows) grows to the longest line. The exact
    // measure is taken only for a line that may not fit.
    const int room = list->columnWidth(0);
    if (list->fontMetrics().horizontalAdvance(text) + 24 < room)
        return;
    const int needed = columnfit::FittedColumnWidth(*list, 0, {text});
    if (needed <= room)
        return;
    // Wider than the screen, the list scrolls sideways instead.
    const QScreen* shown = screen();
    const int screenWidth = shown != nullptr ? shown->availableGeometry().width() : 1600;
    list->setColumnWidth(0, needed);
    list->setMinimumWidth(std::min(list->columnWidth(0) + list->columnWidth(1) + 24, std::max(screenWidth - 80, 200)));
    if (width() < minimumSizeHint().width())
        resize(minimumSizeHint().width(), height());
}

void CSystemInformationDlg::ShowPanel()
{
    show();
    raise();
    activateWindow();
}

void CSystemInformationDlg::OnDelete()
{
    const QList<QTreeWidgetItem*> selected = list->selectedItems();
    if (selected.isEmpty()) {
        Beep();
        return;
    }
    for (QTreeWidgetItem* row : selected)
        delete row;
}

void CSystemInformationDlg::OnClear()
{
    if (list->topLevelItemCount() == 0) {
        Beep();
        return;
    }
    if (orvabox::Ask(this, LookupText("IDS_SYSTEMINFORMATIONDLG_MSG_3"), QMessageBox::Warning,
                     QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes)
        list->clear();
}

void CSystemInformationDlg::Beep()
{
    ++beeps;
    QApplication::beep();
}
