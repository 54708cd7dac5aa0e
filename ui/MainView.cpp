#include "ui/MainView.h"

#include "core/TextLookup.h"
#include "messages/AlarmInfoMsg.h"
#include "station/OrvaDoc.h"
#include "ui/AlarmDialogs.h"
#include "ui/ColumnFit.h"
#include "ui/MessageBox.h"
#include "ui/StatusIcons.h"

#include <QApplication>
#include <QHeaderView>
#include <QMenu>
#include <QPalette>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <unordered_set>

namespace {

constexpr int kKeyRole = Qt::UserRole;

// The busy cursor for the span of a long list operation.
class BusyCursor {
public:
    BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

uint32_t KeyOf(const QTreeWidgetItem& item)
{
    return item.data(CMainView::ColStatus, kKeyRole).toUInt();
}

QString Q(const std::string& text)
{
    return QString::fromStdString(text);
}

constexpr const char* kColumnTitleKeys[CMainView::kColumnCount] = {
    "IDS_MAINVIEW_MSG_11", "IDS_MAINVIEW_MSG_12", "IDS_MAINVIEW_MSG_13",
    "IDS_MAINVIEW_MSG_14", "IDS_MAINVIEW_MSG_35", "IDS_MAINVIEW_MSG_15",
};

// The settings that keep the column widths, in column order.
std::array<int32_t*, CMainView::kColumnCount> WidthSettings(SettingsValues& settings)
{
    return {&settings.ColumnWidthStatus, &settings.ColumnWidthType,    &settings.ColumnWidthIdCode,
            &settings.ColumnWidthIdInfo, &settings.ColumnWidthCidInfo, &settings.ColumnWidthDateTime};
}

}  // namespace

CMainView::CMainView(COrvaDoc& document, CAlarmDialogs& alarmDialogs, QWidget* parent)
    : QWidget(parent), doc(document), dialogs(alarmDialogs)
{
    list = new QTreeWidget(this);
    list->setColumnCount(kColumnCount);
    list->setRootIsDecorated(false);
    list->setItemsExpandable(false);
    list->setUniformRowHeights(true);
    list->setAllColumnsShowFocus(true);
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setIconSize(QSize(CStatusIcons::kSize, CStatusIcons::kSize));
    // The list sorts itself by comparing the shown texts; the view's own
    // sorting would reorder rows behind its back.
    list->setSortingEnabled(false);
    list->header()->setSectionsClickable(true);
    list->header()->setSortIndicatorShown(true);
    list->header()->setSortIndicator(ColStatus, Qt::AscendingOrder);
    list->header()->setStretchLastSection(false);
    list->setContextMenuPolicy(Qt::CustomContextMenu);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(list);

    QObject::connect(list->header(), &QHeaderView::sectionClicked, this, [this](int column) { SortByColumn(column); });
    QObject::connect(list, &QTreeWidget::itemDoubleClicked, this, [this] { OnAlarmlistView(); });
    QObject::connect(list, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        if (contextMenu != nullptr)
            contextMenu->popup(list->viewport()->mapToGlobal(pos));
    });
    SetListBackground(Qt::white);
}

CMainView::~CMainView()
{
    // Widths of a list that never got its columns are not the operator's.
    if (!initialised)
        return;
    const auto widths = WidthSettings(doc.Settings());
    for (int column = 0; column < kColumnCount; ++column)
        *widths[static_cast<std::size_t>(column)] = list->columnWidth(column);
    doc.SaveSettings();
}

void CMainView::Initialise(const std::string& headerFolder)
{
    if (initialised)
        return;
    QStringList titles;
    for (const char* key : kColumnTitleKeys)
        titles << Q(LookupText(key));
    list->setHeaderLabels(titles);
    // A stored width is the operator's choice only where it still shows the
    // whole title and the column's longest text in today's font.
    const auto widths = WidthSettings(doc.Settings());
    for (int column = 0; column < kColumnCount; ++column)
        list->setColumnWidth(column, std::max<int32_t>(*widths[static_cast<std::size_t>(column)], FittedWidth(column)));
    // A file that can be neither read nor created leaves the dictionary
    // texts in use.
    headerTexts.Load(headerFolder);
    initialised = true;
}

int CMainView::FittedWidth(int column) const
{
    const QFontMetrics metrics = list->fontMetrics();
    // An ID code is a lift telephone's code or a telephone number in full
    // international form (at most 15 digits after the "+"), as is the caller's
    // number; the ID information is free text and gets room for its title only.
    const QString longestNumber = columnfit::WidestDigits(QStringLiteral("+000000000000000"), metrics);
    QStringList texts;
    QIcon icon;
    switch (column) {
    case ColStatus:
        for (uint8_t status = 0; status <= ALARMSTATUS_INFO; ++status)
            texts << Q(StatusText(status));
        icon = CStatusIcons::Icon(CStatusIcons::ForStatus(ALARMSTATUS_NEW));
        break;
    case ColType:
        for (int type = 0; type <= ALARMTYPE_VOICE_REDIRECTED + 1; ++type)
            texts << Q(TypeText(static_cast<uint8_t>(type)));
        break;
    case ColIdCode:
    case ColCallerId:
        texts << longestNumber;
        break;
    case ColDateTime:
        texts << columnfit::WidestDigits(Q(COleDateTime(2000, 1, 1, 0, 0, 0).Format(kDateFormat)), metrics);
        break;
    default:
        break;
    }
    return columnfit::FittedColumnWidth(*list, column, texts, icon);
}

// ---------------------------------------------------------------------------
// What the document shows

void CMainView::ShowNewAlarm(const CAlarmInfoMsg& alarm, AlarmPopUp popUp)
{
    AddRow(alarm, 0);
    SortList();
    if (popUp == AlarmPopUp::None)
        return;
    BringMainWindowForward();
    OpenDialog(alarm, popUp == AlarmPopUp::VoiceCall);
}

void CMainView::ShowAlarmList(const CAlarmInfoMsg* first)
{
    BusyCursor busy;
    ShowPaneText("IDS_MAINVIEW_MSG_29");
    // Every selected row that is listed again stays selected: a refresh
    // by the timer must not undo the operator's selection.
    const std::vector<uint32_t> selected = SelectedKeys();
    list->clear();
    int index = 0;
    for (const CAlarmInfoMsg* alarm = first; alarm != nullptr; alarm = alarm->NextAlarm())
        AddRow(*alarm, index++);
    SortList();
    Reselect(selected);
    ShowPaneText("IDS_MAINVIEW_MSG_30");
}

void CMainView::ShowAlarmStatus(uint32_t key, uint8_t status)
{
    if (QTreeWidgetItem* item = FindRow(key))
        SetRowStatus(*item, status);
}

void CMainView::OpenAlarmDialog(const CAlarmInfoMsg& alarm)
{
    OpenDialog(alarm, false);
}

void CMainView::ShowCallProgress(int16_t state, int16_t secondsLeft)
{
    dialogs.CallProgress(state, secondsLeft);
}

// ---------------------------------------------------------------------------
// The list

void CMainView::SortByColumn(int column)
{
    if (column < 0 || column >= kColumnCount)
        return;
    sortColumn = column;
    sortDescending[static_cast<std::size_t>(column)] = !sortDescending[static_cast<std::size_t>(column)];
    SortList();
}

void CMainView::SortList()
{
    BusyCursor busy;
    ShowPaneText("IDS_MAINVIEW_MSG_31");
    const std::vector<uint32_t> selected = SelectedKeys();
    const int column = sortColumn;
    const bool descending = sortDescending[static_cast<std::size_t>(column)];

    QList<QTreeWidgetItem*> items = list->invisibleRootItem()->takeChildren();
    // Plain comparison of the shown texts: the status and date texts are
    // built so that this is status order and time order. Stable, so rows
    // with equal texts keep their order.
    std::stable_sort(items.begin(), items.end(), [column, descending](QTreeWidgetItem* a, QTreeWidgetItem* b) {
        const int order = a->text(column).compare(b->text(column), Qt::CaseSensitive);
        return descending ? order > 0 : order < 0;
    });
    list->addTopLevelItems(items);
    list->header()->setSortIndicator(column, descending ? Qt::DescendingOrder : Qt::AscendingOrder);
    Reselect(selected);
    ShowPaneText("IDS_MAINVIEW_MSG_32");
}

int CMainView::GetPrintRowCount() const
{
    return list->topLevelItemCount();
}

std::vector<uint32_t> CMainView::SelectedKeys() const
{
    std::vector<uint32_t> keys;
    for (int row = 0; row < list->topLevelItemCount(); ++row) {
        const QTreeWidgetItem* item = list->topLevelItem(row);
        if (item->isSelected())
            keys.push_back(KeyOf(*item));
    }
    return keys;
}

void CMainView::AddRow(const CAlarmInfoMsg& alarm, int index)
{
    auto* item = new QTreeWidgetItem;
    item->setData(ColStatus, kKeyRole, QVariant::fromValue<uint>(alarm.PrimaryKey));
    SetRowStatus(*item, alarm.AlarmStatus);
    item->setText(ColType, Q(TypeText(alarm.AlarmType)));
    item->setText(ColIdCode, Q(alarm.IdCode));
    item->setText(ColIdInfo, Q(alarm.IdInfo));
    item->setText(ColCallerId, Q(alarm.CallerIdInfo));
    item->setText(ColDateTime, Q(alarm.AlarmTime.Format(kDateFormat)));
    list->insertTopLevelItem(index, item);
}

void CMainView::SetRowStatus(QTreeWidgetItem& item, uint8_t status)
{
    item.setText(ColStatus, Q(StatusText(status)));
    item.setIcon(ColStatus, CStatusIcons::Icon(CStatusIcons::ForStatus(status)));
}

QTreeWidgetItem* CMainView::FindRow(uint32_t key) const
{
    for (int row = 0; row < list->topLevelItemCount(); ++row) {
        QTreeWidgetItem* item = list->topLevelItem(row);
        if (KeyOf(*item) == key)
            return item;
    }
    return nullptr;
}

QTreeWidgetItem* CMainView::FirstSelectedRow() const
{
    for (int row = 0; row < list->topLevelItemCount(); ++row) {
        QTreeWidgetItem* item = list->topLevelItem(row);
        if (item->isSelected())
            return item;
    }
    return nullptr;
}

void CMainView::Reselect(const std::vector<uint32_t>& keys)
{
    if (keys.empty())
        return;
    const std::unordered_set<uint32_t> wanted(keys.begin(), keys.end());
    QTreeWidgetItem* first = nullptr;
    for (int row = 0; row < list->topLevelItemCount(); ++row) {
        QTreeWidgetItem* item = list->topLevelItem(row);
        if (wanted.count(KeyOf(*item)) == 0)
            continue;
        item->setSelected(true);
        // The row that was first selected before becomes the current one and
        // is brought into view, wherever the sort put it.
        if (KeyOf(*item) == keys.front())
            first = item;
    }
    if (first == nullptr)
        return;
    list->selectionModel()->setCurrentIndex(list->indexFromItem(first), QItemSelectionModel::NoUpdate);
    list->scrollToItem(first);
}

// ---------------------------------------------------------------------------
// Dialogs

void CMainView::OpenDialog(const CAlarmInfoMsg& alarm, bool voiceCall)
{
    dialogs.Open(alarm, voiceCall, *this, HeaderText(alarm.AlarmType));
}

void CMainView::BringMainWindowForward()
{
    QWidget* mainWindow = window();
    if (mainWindow->isMinimized())
        mainWindow->setWindowState((mainWindow->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    if (!mainWindow->isVisible())
        mainWindow->show();
    mainWindow->raise();
    mainWindow->activateWindow();
}

// ---------------------------------------------------------------------------
// Commands

void CMainView::OnAlarmlistView()
{
    const QTreeWidgetItem* item = FirstSelectedRow();
    if (item == nullptr) {
        Beep();
        return;
    }
    doc.GetAlarmList().RequestAlarm(KeyOf(*item));
}

void CMainView::OnAlarmlistDelete()
{
    const std::vector<uint32_t> keys = SelectedKeys();
    if (keys.empty()) {
        Beep();
        return;
    }
    if (orvabox::Ask(this, LookupText("IDS_MAINVIEW_MSG_27"), QMessageBox::Warning, QMessageBox::Yes | QMessageBox::No,
                     QMessageBox::No) != QMessageBox::Yes)
        return;
    // The rows the question was about, even if a timer refresh redrew the
    // list while it was open.
    doc.GetAlarmList().DeleteAlarms(keys);
    for (uint32_t key : keys)
        delete FindRow(key);
}

void CMainView::OnAlarmlistRefresh()
{
    doc.GetAlarmList().RequestRefresh();
}

void CMainView::OnAlarmlistFilter(int bit)
{
    if (bit < 0 || bit > 3)
        return;
    CAlarmList& alarms = doc.GetAlarmList();
    alarms.SetFilterMask(static_cast<uint8_t>(alarms.GetFilterMask() ^ (1u << bit)));
}

void CMainView::OnAlarmlistSetStatus(AlarmStatusChange change)
{
    std::vector<std::pair<uint32_t, uint8_t>> rows;
    for (int row = 0; row < list->topLevelItemCount(); ++row) {
        const QTreeWidgetItem* item = list->topLevelItem(row);
        if (item->isSelected())
            rows.emplace_back(KeyOf(*item), StatusOfText(item->text(ColStatus).toStdString()));
    }
    if (rows.empty()) {
        Beep();
        return;
    }
    for (const auto& [key, current] : rows)
        doc.GetAlarmList().SetAlarmStatus(key, current, change);
}

void CMainView::OnOptionsUnattended()
{
    CAlarmList& alarms = doc.GetAlarmList();
    const bool on = !alarms.IsUnattended();
    if (on) {
        orvabox::Ask(this, LookupText("IDS_MAINVIEW_MSG_33") + LookupText("IDS_MAINVIEW_MSG_34"), QMessageBox::Warning,
                     QMessageBox::Ok, QMessageBox::Ok);
        SetListBackground(QColor(192, 192, 192));
    } else {
        SetListBackground(Qt::white);
    }
    alarms.SetUnattended(on);
}

uint8_t CMainView::GetFilterMask() const
{
    return doc.GetAlarmList().GetFilterMask();
}

bool CMainView::IsUnattended() const
{
    return doc.GetAlarmList().IsUnattended();
}

// ---------------------------------------------------------------------------
// The alarm dialogs' host

const SettingsValues& CMainView::Settings()
{
    return doc.Settings();
}

void CMainView::SetAlarmStatus(uint32_t key, uint8_t currentStatus, uint8_t newStatus)
{
    // The dialogs ask for Acknowledged or Finished; no other status is the
    // operator's to set.
    if (const std::optional<AlarmStatusChange> change = StatusChangeTo(newStatus))
        doc.GetAlarmList().SetAlarmStatus(key, currentStatus, *change);
}

void CMainView::VoiceCallEnded(bool forward)
{
    doc.GetAlarmList().VoiceCallEnded(forward);
    dialogs.ForgetVoiceDialog();
}

void CMainView::DisconnectVoiceCall()
{
    doc.GetAlarmList().AbortVoiceCall();
}

void CMainView::OpenObjectInfo(bool known, const std::string& idCode, bool byPhoneNumber)
{
    if (known && findObjectHandler)
        findObjectHandler(idCode, byPhoneNumber);
    else if (!known && newObjectHandler)
        newObjectHandler(idCode);
    else
        Beep();
}

void CMainView::DialogClosed(CEventMsgDlg*)
{
}

// ---------------------------------------------------------------------------
// Texts

std::string CMainView::StatusText(uint8_t status)
{
    switch (status) {
    case ALARMSTATUS_NEW:
        return "  1";
    case ALARMSTATUS_ACKNOWLEDGED:
        return "  2";
    case ALARMSTATUS_FINISHED:
        return "  3";
    case ALARMSTATUS_INFO:
        return "  4";
    default:
        return "Undef";
    }
}

uint8_t CMainView::StatusOfText(const std::string& text)
{
    const std::size_t digit = text.find_first_not_of(' ');
    if (digit == std::string::npos || digit + 1 != text.size() || text[digit] < '1' || text[digit] > '4')
        return 0;
    return static_cast<uint8_t>(text[digit] - '0');
}

std::string CMainView::TypeText(uint8_t alarmType)
{
    switch (alarmType) {
    case ALARMTYPE_P100:
        return "P100";
    case ALARMTYPE_SMS:
        return LookupText("IDS_MAINVIEW_MSG_16");
    case ALARMTYPE_VOICE:
        return LookupText("IDS_MAINVIEW_MSG_17");
    case ALARMTYPE_OPFAIL:
        return LookupText("IDS_MAINVIEW_MSG_19");
    case ALARMTYPE_LIFT_MONITORING:
        return LookupText("IDS_MAINVIEW_MSG_21");
    case ALARMTYPE_TEST:
        return LookupText("IDS_MAINVIEW_MSG_20");
    case ALARMTYPE_TEST_FAIL:
        return LookupText("IDS_MAINVIEW_MSG_22");
    case ALARMTYPE_EMERGENCY_CALL:
        return LookupText("IDS_MAINVIEW_MSG_23");
    case ALARMTYPE_END_OF_ALARM:
        return LookupText("IDS_MAINVIEW_MSG_24");
    case ALARMTYPE_MAINTENANCE:
        return LookupText("IDS_MAINVIEW_MSG_25");
    case ALARMTYPE_VOICE_REDIRECTED:
        return LookupText("IDS_MAINVIEW_MSG_18");
    default:
        return LookupText("IDS_MAINVIEW_MSG_26");
    }
}

// ---------------------------------------------------------------------------

void CMainView::SetListBackground(const QColor& color)
{
    QPalette palette = list->palette();
    palette.setColor(QPalette::Base, color);
    palette.setColor(QPalette::AlternateBase, color);
    list->setPalette(palette);
}

void CMainView::ShowPaneText(const char* key)
{
    doc.SetStatusText(LookupText(key), 0);
}

void CMainView::Beep()
{
    doc.Screen().Beep(BeepKind::Default);
}
