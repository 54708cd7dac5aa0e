#include "ui/ExportObjectInfoDlg.h"

#include "core/TextLookup.h"
#include "db/ObjectInfoMsg.h"
#include "db/ObjectInfoReqMsg.h"
#include "ui/ExportObjectInfoOutputDlg.h"
#include "ui/MessageBox.h"
#include "ui/QueuedReply.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>

CExportObjectInfoDlg::CExportObjectInfoDlg(DbRequestSink requestSink, QWidget* parent)
    : QDialog(parent), requests(std::move(requestSink))
{
    setModal(false);

    fieldsGroup = new QGroupBox(this);
    fieldsGroup->setObjectName("IDC_EXPORT_OBJECTINFO_FIELDS");
    fieldList = new QListWidget(fieldsGroup);
    fieldList->setObjectName("FieldList");
    // The check boxes alone carry the choice: a click leaves no highlight.
    fieldList->setSelectionMode(QAbstractItemView::NoSelection);
    for (int field = 0; field < exportline::kFieldCount; ++field) {
        auto* item = new QListWidgetItem(fieldList);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Unchecked);
    }
    // All thirteen fields in sight without scrolling.
    fieldList->setMinimumHeight(fieldList->sizeHintForRow(0) * exportline::kFieldCount + fieldList->frameWidth() * 2 +
                                4);
    setDefaultButton = new QPushButton(fieldsGroup);
    setDefaultButton->setObjectName("IDC_EXPORT_OBJECTINFO_SET_DEFAULT");
    setAllButton = new QPushButton(fieldsGroup);
    setAllButton->setObjectName("IDC_EXPORT_OBJECTINFO_SET_ALL");
    clearAllButton = new QPushButton(fieldsGroup);
    clearAllButton->setObjectName("IDC_EXPORT_OBJECTINFO_CLEAR_ALL");

    recordsGroup = new QGroupBox(this);
    recordsGroup->setObjectName("IDC_EXPORT_OBJECTINFO_RECORDS");
    allRecords = new QRadioButton(recordsGroup);
    allRecords->setObjectName("IDC_EXPORT_OBJECTINFO_SELECT_RECORDS_ALL");
    lastRecords = new QRadioButton(recordsGroup);
    lastRecords->setObjectName("IDC_EXPORT_OBJECTINFO_SELECT_RECORDS_COUNT");
    count = new QSpinBox(recordsGroup);
    count->setObjectName("Count");
    // Digits only; a value beyond the range cannot be typed.
    count->setRange(0, kMaxCount);
    count->setButtonSymbols(QAbstractSpinBox::NoButtons);
    recordLabel = new QLabel(recordsGroup);
    recordLabel->setObjectName("IDC_EXPORT_OBJECTINFO_RECORD");
    auto* recordButtons = new QButtonGroup(this);
    recordButtons->addButton(allRecords, kAll);
    recordButtons->addButton(lastRecords, kLast);

    separatorGroup = new QGroupBox(this);
    separatorGroup->setObjectName("IDC_EXPORT_OBJECTINFO_OUTPUT_FIELD");
    semicolon = new QRadioButton(separatorGroup);
    semicolon->setObjectName("IDC_EXPORT_OBJECTINFO_OUTPUT_SEPARATOR_SEMICOLON");
    comma = new QRadioButton(separatorGroup);
    comma->setObjectName("IDC_EXPORT_OBJECTINFO_OUTPUT_SEPARATOR_COMMA");
    auto* separatorButtons = new QButtonGroup(this);
    separatorButtons->addButton(semicolon, kSemicolon);
    separatorButtons->addButton(comma, kComma);

    nextButton = new QPushButton(this);
    nextButton->setObjectName("IDC_EXPORT_OBJECTINFO_NEXT");
    cancelButton = new QPushButton(this);
    cancelButton->setObjectName("IDC_EXPORT_OBJECTINFOANCEL");
    for (QPushButton* button : {setDefaultButton, setAllButton, clearAllButton, nextButton, cancelButton})
        button->setAutoDefault(false);

    auto* fieldButtons = new QHBoxLayout;
    fieldButtons->addWidget(setDefaultButton);
    fieldButtons->addWidget(setAllButton);
    fieldButtons->addWidget(clearAllButton);
    auto* fieldsLayout = new QVBoxLayout(fieldsGroup);
    fieldsLayout->addWidget(fieldList, 1);
    fieldsLayout->addLayout(fieldButtons);

    auto* recordsLayout = new QGridLayout(recordsGroup);
    recordsLayout->addWidget(allRecords, 0, 0, 1, 3);
    recordsLayout->addWidget(lastRecords, 1, 0);
    recordsLayout->addWidget(count, 1, 1);
    recordsLayout->addWidget(recordLabel, 1, 2);
    recordsLayout->setColumnStretch(3, 1);

    auto* separatorLayout = new QVBoxLayout(separatorGroup);
    separatorLayout->addWidget(semicolon);
    separatorLayout->addWidget(comma);

    auto* choices = new QVBoxLayout;
    choices->addWidget(recordsGroup);
    choices->addWidget(separatorGroup);
    choices->addStretch(1);

    auto* groups = new QHBoxLayout;
    groups->addWidget(fieldsGroup, 1);
    groups->addLayout(choices);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(nextButton);
    buttons->addWidget(cancelButton);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(groups, 1);
    layout->addLayout(buttons);

    // Reading order: the fields with their buttons, the records, the
    // separator, Next, Cancel.
    setTabOrder(fieldList, setDefaultButton);
    setTabOrder(setDefaultButton, setAllButton);
    setTabOrder(setAllButton, clearAllButton);
    setTabOrder(clearAllButton, allRecords);
    setTabOrder(allRecords, lastRecords);
    setTabOrder(lastRecords, count);
    setTabOrder(count, semicolon);
    setTabOrder(semicolon, comma);
    setTabOrder(comma, nextButton);
    setTabOrder(nextButton, cancelButton);

    connect(setDefaultButton, &QPushButton::clicked, this, [this] { OnSetDefault(); });
    connect(setAllButton, &QPushButton::clicked, this, [this] { OnSetAll(); });
    connect(clearAllButton, &QPushButton::clicked, this, [this] { OnClearAll(); });
    // Also when the arrow keys move the choice.
    connect(lastRecords, &QRadioButton::toggled, count, &QSpinBox::setEnabled);
    connect(nextButton, &QPushButton::clicked, this, [this] { OnNext(); });
    connect(cancelButton, &QPushButton::clicked, this, [this] { OnCancel(); });

    SetRecordChoice(kAll);
    SetSeparatorChoice(kSemicolon);
    output = new CExportOutputDlg(this);
    Translate();
}

CExportObjectInfoDlg::~CExportObjectInfoDlg() = default;

void CExportObjectInfoDlg::Translate()
{
    setWindowTitle(orvabox::Text("IDC_EXPORT_OBJECTINFO_CAPTION"));
    fieldsGroup->setTitle(orvabox::Text("IDC_EXPORT_OBJECTINFO_FIELDS"));
    setDefaultButton->setText(orvabox::Text("IDC_EXPORT_OBJECTINFO_SET_DEFAULT"));
    setAllButton->setText(orvabox::Text("IDC_EXPORT_OBJECTINFO_SET_ALL"));
    clearAllButton->setText(orvabox::Text("IDC_EXPORT_OBJECTINFO_CLEAR_ALL"));
    recordsGroup->setTitle(orvabox::Text("IDC_EXPORT_OBJECTINFO_RECORDS"));
    allRecords->setText(orvabox::Text("IDC_EXPORT_OBJECTINFO_SELECT_RECORDS_ALL"));
    lastRecords->setText(orvabox::Text("IDC_EXPORT_OBJECTINFO_SELECT_RECORDS_COUNT"));
    recordLabel->setText(orvabox::Text("IDC_EXPORT_OBJECTINFO_RECORD"));
    separatorGroup->setTitle(orvabox::Text("IDC_EXPORT_OBJECTINFO_OUTPUT_FIELD"));
    semicolon->setText(orvabox::Text("IDC_EXPORT_OBJECTINFO_OUTPUT_SEPARATOR_SEMICOLON"));
    comma->setText(orvabox::Text("IDC_EXPORT_OBJECTINFO_OUTPUT_SEPARATOR_COMMA"));
    nextButton->setText(orvabox::Text("IDC_EXPORT_OBJECTINFO_NEXT"));
    cancelButton->setText(orvabox::Text("IDC_EXPORT_OBJECTINFOANCEL"));
    for (int field = 0; field < exportline::kFieldCount; ++field)
        fieldList->item(field)->setText(orvabox::Text(exportline::kTitleKeys[static_cast<std::size_t>(field)]));
    output->Translate();
}

void CExportObjectInfoDlg::ShowWindow()
{
    Translate();
    show();
    raise();
    activateWindow();
}

void CExportObjectInfoDlg::SetField(int field, bool ticked)
{
    if (field >= 0 && field < exportline::kFieldCount)
        fieldList->item(field)->setCheckState(ticked ? Qt::Checked : Qt::Unchecked);
}

exportline::FieldSet CExportObjectInfoDlg::Fields() const
{
    exportline::FieldSet fields{};
    for (int field = 0; field < exportline::kFieldCount; ++field)
        fields[static_cast<std::size_t>(field)] = fieldList->item(field)->checkState() == Qt::Checked;
    return fields;
}

void CExportObjectInfoDlg::OnSetDefault()
{
    for (int field = 0; field < exportline::kFieldCount; ++field)
        SetField(field, field == exportline::kIdCode || field == exportline::kIdInfo);
}

void CExportObjectInfoDlg::OnSetAll()
{
    for (int field = 0; field < exportline::kFieldCount; ++field)
        SetField(field, true);
}

void CExportObjectInfoDlg::OnClearAll()
{
    for (int field = 0; field < exportline::kFieldCount; ++field)
        SetField(field, false);
}

void CExportObjectInfoDlg::SetRecordChoice(RecordChoice choice)
{
    (choice == kLast ? lastRecords : allRecords)->setChecked(true);
    count->setEnabled(choice == kLast);
}

void CExportObjectInfoDlg::SetCount(int value)
{
    count->setValue(value);
}

void CExportObjectInfoDlg::SetSeparatorChoice(SeparatorChoice choice)
{
    (choice == kComma ? comma : semicolon)->setChecked(true);
}

char CExportObjectInfoDlg::Separator() const
{
    return comma->isChecked() ? ',' : ';';
}

void CExportObjectInfoDlg::OnNext()
{
    auto request = std::make_unique<CObjectInfoReqMsg>(DBMSG_FIND_OBJECT_INFO);
    request->Kind = OBJECT_KIND_ALL;
    request->ReplyType = DBMSG_EXPORT_INFO;
    if (requests)
        requests(std::move(request));
}

void CExportObjectInfoDlg::OnReply(std::unique_ptr<CMsg> reply)
{
    queuedreply::Post(this, std::move(reply), [this](std::unique_ptr<CMsg> msg) { OnExportReply(std::move(msg)); });
}

void CExportObjectInfoDlg::OnExportReply(std::unique_ptr<CMsg> reply)
{
    const auto* answer = dynamic_cast<const CDatabaseMsg*>(reply.get());
    if (answer == nullptr)
        return;
    // The choices as they are now, not as they were at Next.
    const exportline::FieldSet fields = Fields();
    const char separator = Separator();
    const int limit = lastRecords->isChecked() ? count->value() : kMaxCount;

    if (answer->Result == DBRES_OBJECT_NONE) {
        orvabox::AskInWindow(this, LookupText("IDS_EXPORTOBJECTINFODLG_MSG_14"), QMessageBox::Warning, QMessageBox::Ok,
                             QMessageBox::Ok);
        return;
    }
    // A database error has been shown by the database already.
    if (answer->Result != DBRES_OBJECT_FOUND_ALL)
        return;

    // Each record is taken off the chain, so a long register is never
    // destroyed by one deep recursion; the last record of the answer is the
    // first of the list.
    for (std::unique_ptr<CMsg> link = std::move(reply); link;) {
        std::unique_ptr<CMsg> rest = std::move(link->Next);
        if (auto* object = dynamic_cast<CObjectInfoMsg*>(link.get())) {
            link.release();
            records.emplace_back(object);
        }
        link = std::move(rest);
    }
    std::reverse(records.begin(), records.end());

    output->ClearLines();
    int taken = 0;
    for (std::unique_ptr<CObjectInfoMsg>& record : records) {
        if (taken < limit) {
            output->AddLine(exportline::BuildLine(*record, fields, separator));
            ++taken;
        }
        record.reset();
    }
    records.clear();
    output->show();
    output->raise();
    output->activateWindow();
}

void CExportObjectInfoDlg::OnCancel()
{
    hide();
}

void CExportObjectInfoDlg::reject()
{
    // Escape and the close box hide the window like Cancel.
    OnCancel();
}
