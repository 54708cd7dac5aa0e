#include "ui/OpenObjectInfoDlg.h"

#include "db/ObjectInfoReqMsg.h"
#include "ui/ColumnFit.h"
#include "ui/MessageBox.h"

#include <QApplication>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <vector>

namespace {

constexpr int kIdCodeWidth = 90;
constexpr int kIdInfoWidth = 350;

QString Tr(const char* key)
{
    return orvabox::Text(key);
}

}  // namespace

COpenObjectInfoDlg::COpenObjectInfoDlg(DbRequestSink requestSink, std::function<void(bool)> gone, QWidget* parent)
    : QDialog(parent), requests(std::move(requestSink)), onGone(std::move(gone))
{
    setModal(false);

    list = new QTreeWidget(this);
    list->setObjectName(QStringLiteral("ObjectList"));
    list->setColumnCount(2);
    list->setRootIsDecorated(false);
    list->setItemsExpandable(false);
    list->setUniformRowHeights(true);
    list->setAllColumnsShowFocus(true);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    // The list sorts itself on a title click (see SortBy): the view's own
    // sorting would re-sort on every change and knows no per-column direction.
    list->setSortingEnabled(false);
    list->header()->setSectionsClickable(true);
    list->header()->setSortIndicatorShown(true);
    list->header()->setStretchLastSection(true);

    findGroup = new QGroupBox(this);
    findGroup->setObjectName(QStringLiteral("IDC_OPEN_OBJECT_INFO_FIND"));
    byIdCode = new QRadioButton(findGroup);
    byIdCode->setObjectName(QStringLiteral("IDC_OPEN_OBJECT_INFO_FIND_ID_CODE"));
    byIdInfo = new QRadioButton(findGroup);
    byIdInfo->setObjectName(QStringLiteral("IDC_OPEN_OBJECT_INFO_FIND_ID_INFO"));
    byIdCode->setChecked(true);
    searchText = new QLineEdit(findGroup);
    searchText->setObjectName(QStringLiteral("SearchText"));
    searchText->installEventFilter(this);
    findFirstButton = new QPushButton(findGroup);
    findFirstButton->setObjectName(QStringLiteral("IDC_OPEN_OBJECT_INFO_FIND_FIRST"));
    findNextButton = new QPushButton(findGroup);
    findNextButton->setObjectName(QStringLiteral("IDC_OPEN_OBJECT_INFO_FIND_NEXT"));

    auto* choice = new QHBoxLayout;
    choice->addWidget(byIdCode);
    choice->addWidget(byIdInfo);
    choice->addStretch(1);
    auto* findButtons = new QHBoxLayout;
    findButtons->addWidget(findFirstButton);
    findButtons->addWidget(findNextButton);
    findButtons->addStretch(1);
    auto* findLayout = new QVBoxLayout(findGroup);
    findLayout->addLayout(choice);
    findLayout->addWidget(searchText);
    findLayout->addLayout(findButtons);

    openButton = new QPushButton(this);
    openButton->setObjectName(QStringLiteral("IDC_OPEN_OBJECT_INFO_OPEN"));
    cancelButton = new QPushButton(this);
    cancelButton->setObjectName(QStringLiteral("IDC_OPEN_OBJECT_INFO_CANCEL"));
    // Open is what Return does on the list; a focused Find or Cancel button
    // takes Return for itself.
    openButton->setDefault(true);
    countLabel = new QLabel(this);
    countLabel->setObjectName(QStringLiteral("IDC_OPEN_OBJECT_INFO_NO_OF_OBJECTS"));

    auto* right = new QVBoxLayout;
    right->addWidget(findGroup);
    right->addStretch(1);
    right->addWidget(countLabel);
    right->addWidget(openButton);
    right->addWidget(cancelButton);

    auto* layout = new QHBoxLayout(this);
    layout->addWidget(list, 1);
    layout->addLayout(right);

    // Reading order: the search first (where the operator types), then the
    // list, Open and Cancel.
    setTabOrder(byIdCode, byIdInfo);
    setTabOrder(byIdInfo, searchText);
    setTabOrder(searchText, findFirstButton);
    setTabOrder(findFirstButton, findNextButton);
    setTabOrder(findNextButton, list);
    setTabOrder(list, openButton);
    setTabOrder(openButton, cancelButton);

    Translate();

    list->setColumnWidth(kIdCodeColumn, std::max(kIdCodeWidth, columnfit::FittedColumnWidth(*list, kIdCodeColumn, {})));
    list->setColumnWidth(kIdInfoColumn, std::max(kIdInfoWidth, columnfit::FittedColumnWidth(*list, kIdInfoColumn, {})));
    list->setMinimumWidth(list->columnWidth(kIdCodeColumn) + list->columnWidth(kIdInfoColumn) + 24);
    list->setMinimumHeight(320);

    connect(findFirstButton, &QPushButton::clicked, this, [this] { OnFindFirst(); });
    connect(findNextButton, &QPushButton::clicked, this, [this] { OnFindNext(); });
    connect(openButton, &QPushButton::clicked, this, [this] { OnOpen(); });
    connect(cancelButton, &QPushButton::clicked, this, [this] { reject(); });
    connect(list, &QTreeWidget::itemDoubleClicked, this, [this] { OnOpen(); });
    connect(list->header(), &QHeaderView::sectionClicked, this, [this](int column) { SortBy(column); });
}

COpenObjectInfoDlg::~COpenObjectInfoDlg() = default;

void COpenObjectInfoDlg::Translate()
{
    setWindowTitle(Tr("IDC_OPEN_OBJECT_INFO_CAPTION"));
    list->setHeaderLabels({Tr("IDS_OPENOBJECTINFODLG_MSG_1"), Tr("IDS_OPENOBJECTINFODLG_MSG_2")});
    findGroup->setTitle(Tr("IDC_OPEN_OBJECT_INFO_FIND"));
    byIdCode->setText(Tr("IDC_OPEN_OBJECT_INFO_FIND_ID_CODE"));
    byIdInfo->setText(Tr("IDC_OPEN_OBJECT_INFO_FIND_ID_INFO"));
    findFirstButton->setText(Tr("IDC_OPEN_OBJECT_INFO_FIND_FIRST"));
    findNextButton->setText(Tr("IDC_OPEN_OBJECT_INFO_FIND_NEXT"));
    openButton->setText(Tr("IDC_OPEN_OBJECT_INFO_OPEN"));
    cancelButton->setText(Tr("IDC_OPEN_OBJECT_INFO_CANCEL"));
    countLabel->setText(Tr("IDC_OPEN_OBJECT_INFO_NO_OF_OBJECTS"));
}

void COpenObjectInfoDlg::Fill(const std::string& currentIdCode, std::unique_ptr<CObjectInfoMsg> records)
{
    list->clear();
    QStringList codes;
    for (const CObjectInfoMsg* record = records.get(); record != nullptr; record = record->NextObject()) {
        auto* row = new QTreeWidgetItem(list);
        row->setText(kIdCodeColumn, QString::fromStdString(record->IdCode));
        row->setText(kIdInfoColumn, QString::fromStdString(record->IdInfo));
        codes << row->text(kIdCodeColumn);
    }
    records.reset();
    // Every ID code whole (a telephone number is wider than eight digits).
    list->setColumnWidth(kIdCodeColumn, std::max(list->columnWidth(kIdCodeColumn),
                                                 columnfit::FittedColumnWidth(*list, kIdCodeColumn, codes)));

    QString count = Tr("IDS_OPENOBJECTINFODLG_MSG_3");
    count.replace(QStringLiteral("%d"), QString::number(list->topLevelItemCount()));
    countLabel->setText(count);

    sortColumn = kIdCodeColumn;
    ascending = {true, true};
    Sort();
    byIdCode->setChecked(true);
    searchPosition = 0;

    const bool found = !currentIdCode.empty() && Search(QString::fromStdString(currentIdCode), kIdCodeColumn, true);
    // Whatever gets the focus now keeps it when the list is shown.
    if (found)
        list->setFocus();
    else
        searchText->setFocus();
}

void COpenObjectInfoDlg::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    raise();
    activateWindow();
    // The preselected object, or else the search text, so the operator can
    // type at once.
    if (list->selectedItems().isEmpty())
        searchText->setFocus();
    else
        list->setFocus();
}

bool COpenObjectInfoDlg::eventFilter(QObject* watched, QEvent* event)
{
    // Return in the search text looks for the first match (and puts the
    // focus on the list, where the next Return opens it) instead of opening
    // whatever happens to be selected.
    if (watched == searchText && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            OnFindFirst();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void COpenObjectInfoDlg::OnFindFirst()
{
    searchPosition = 0;
    OnFindNext();
}

void COpenObjectInfoDlg::OnFindNext()
{
    Search(searchText->text(), byIdInfo->isChecked() ? kIdInfoColumn : kIdCodeColumn, false);
}

bool COpenObjectInfoDlg::Search(const QString& text, int column, bool quiet)
{
    // A case-insensitive match of the start of the column text.
    const QString wanted = text.trimmed().toLower();
    const int rows = list->topLevelItemCount();
    for (int row = std::max(searchPosition, 0); row < rows; ++row) {
        QTreeWidgetItem* item = list->topLevelItem(row);
        if (item->text(column).toLower().left(wanted.size()) != wanted)
            continue;
        list->setCurrentItem(item);
        item->setSelected(true);
        list->scrollToItem(item);
        list->setFocus();
        searchPosition = row + 1;
        return true;
    }
    if (!quiet)
        Beep();
    return false;
}

void COpenObjectInfoDlg::SortBy(int column)
{
    if (column != kIdCodeColumn && column != kIdInfoColumn)
        return;
    sortColumn = column;
    ascending[static_cast<size_t>(column)] = !ascending[static_cast<size_t>(column)];
    Sort();
}

void COpenObjectInfoDlg::Sort()
{
    QTreeWidgetItem* selected = list->selectedItems().isEmpty() ? nullptr : list->selectedItems().first();
    std::vector<QTreeWidgetItem*> rows;
    while (list->topLevelItemCount() > 0)
        rows.push_back(list->takeTopLevelItem(0));
    const int column = sortColumn;
    const bool up = ascending[static_cast<size_t>(column)];
    // Plain case-sensitive comparison of the texts; equal texts keep their order.
    std::stable_sort(rows.begin(), rows.end(), [column, up](const QTreeWidgetItem* a, const QTreeWidgetItem* b) {
        const int order = QString::compare(a->text(column), b->text(column), Qt::CaseSensitive);
        return up ? order < 0 : order > 0;
    });
    for (QTreeWidgetItem* row : rows)
        list->addTopLevelItem(row);
    list->header()->setSortIndicator(column, up ? Qt::AscendingOrder : Qt::DescendingOrder);
    if (selected != nullptr) {
        list->setCurrentItem(selected);
        selected->setSelected(true);
        list->scrollToItem(selected);
    }
}

void COpenObjectInfoDlg::OnOpen()
{
    const QList<QTreeWidgetItem*> selected = list->selectedItems();
    if (selected.isEmpty()) {
        Beep();
        return;
    }
    auto request = std::make_unique<CObjectInfoReqMsg>(DBMSG_FIND_OBJECT_INFO);
    request->Kind = OBJECT_KIND_BY_ID;
    request->Key = selected.first()->text(kIdCodeColumn).toStdString();
    request->ReplyType = DBMSG_OBJECT_INFO;
    if (requests)
        requests(std::move(request));
    Finish(true);
}

void COpenObjectInfoDlg::reject()
{
    // Cancel, Escape and the close box.
    Finish(false);
}

void COpenObjectInfoDlg::Finish(bool opened)
{
    if (finished)
        return;
    finished = true;
    hide();
    setResult(opened ? Accepted : Rejected);
    if (onGone)
        onGone(opened);
    deleteLater();
}

void COpenObjectInfoDlg::Beep()
{
    if (beep)
        beep();
    else
        QApplication::beep();
}
