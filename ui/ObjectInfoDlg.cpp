#include "ui/ObjectInfoDlg.h"

#include "ui/CharLimit.h"

#include "core/OleDateTime.h"
#include "core/TextLookup.h"
#include "db/ObjectInfoMsg.h"
#include "db/ObjectInfoReqMsg.h"
#include "messages/DatabaseMsg.h"
#include "ui/CharLimit.h"
#include "ui/CustomerInfoDlg.h"
#include "ui/MailSmsNumInfoDlg.h"
#include "ui/MessageBox.h"
#include "ui/OpenObjectInfoDlg.h"
#include "ui/QueuedReply.h"
#include "ui/RecipientRules.h"

#include <QApplication>
#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTextCursor>
#include <QToolTip>
#include <QVBoxLayout>
#include <QValidator>

#include <algorithm>

namespace {

QString Tr(const char* key)
{
    return orvabox::Text(key);
}

QString Q(const std::string& text)
{
    return QString::fromStdString(text);
}

// A change cut to the limit; a text that was too long already is cut whole
// (a stored text never is, but be safe).
QString CutToLimit(const QString& before, const QString& after, int limit, int* cursor)
{
    QString result = charlimit::KeepWithin(before, after, limit, cursor);
    if (charlimit::Count(result) > limit)
        result = charlimit::Left(result, limit);
    return result;
}

// Keeps a one-line field within its limit in characters; for the ID code it
// also refuses at once what can never become a valid code: anything but
// digits and one leading "+", and more than eight digits without the "+".
// A text put in by the program (a stored code, the code an alarm brought)
// is shown as it is; typing then cannot make it worse, only better.
class FieldValidator : public QValidator {
public:
    FieldValidator(QLineEdit* edit, int maxLength, bool isIdCode)
        : QValidator(edit), field(edit), limit(maxLength), idCode(isIdCode)
    {
        QObject::connect(edit, &QLineEdit::textChanged, this, [this](const QString& text) { last = text; });
    }

    State validate(QString& input, int& pos) const override
    {
        if (charlimit::Count(input) > limit) {
            int cursor = pos;
            input = CutToLimit(last, input, limit, &cursor);
            pos = std::min(cursor, static_cast<int>(input.size()));
        }
        if (!idCode)
            return Acceptable;
        if (Faults(input) > Faults(last))
            return Invalid;
        return recipients::IsValidIdCode(input.toStdString()) ? Acceptable : Intermediate;
    }

private:
    // How far a text is from something that could still become a valid code.
    static int Faults(const QString& text)
    {
        const bool plus = text.startsWith(QLatin1Char('+'));
        int faults = 0;
        int digits = 0;
        for (int i = plus ? 1 : 0; i < text.size(); ++i) {
            const QChar c = text.at(i);
            if (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
                ++digits;
            else
                ++faults;
        }
        if (!plus && digits > 8)
            faults += digits - 8;
        return faults;
    }

    QLineEdit* field;
    int limit;
    bool idCode;
    QString last;
};

// The same limit for a multi-line field.
void LimitText(QPlainTextEdit* edit, int limit)
{
    auto last = std::make_shared<QString>();
    QObject::connect(edit, &QPlainTextEdit::textChanged, edit, [edit, limit, last] {
        const QString now = edit->toPlainText();
        if (charlimit::Count(now) <= limit) {
            *last = now;
            return;
        }
        int cursorPos = 0;
        const QString cut = CutToLimit(*last, now, limit, &cursorPos);
        // Remove what did not fit through the cursor, so the undo history
        // and the view stay as they are.
        QSignalBlocker quiet(edit);
        QTextCursor cursor(edit->document());
        cursor.beginEditBlock();
        cursor.select(QTextCursor::Document);
        cursor.insertText(cut);
        cursor.endEditBlock();
        QTextCursor place(edit->document());
        place.setPosition(std::min(cursorPos, static_cast<int>(cut.size())));
        edit->setTextCursor(place);
        *last = cut;
    });
}

QLineEdit* NewLine(QWidget* parent, const char* name, int limit, bool idCode = false)
{
    auto* field = new QLineEdit(parent);
    field->setObjectName(QLatin1String(name));
    field->setValidator(new FieldValidator(field, limit, idCode));
    return field;
}

QPushButton* NewDots(QWidget* parent, const char* name)
{
    auto* button = new QPushButton(QStringLiteral("..."), parent);
    button->setObjectName(QLatin1String(name));
    const int width = button->fontMetrics().horizontalAdvance(QStringLiteral("...")) + 20;
    button->setFixedWidth(std::max(width, 32));
    return button;
}

// A field with its "..." button in one row.
QHBoxLayout* WithButton(QWidget* field, QPushButton* button)
{
    auto* row = new QHBoxLayout;
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(field, 1);
    row->addWidget(button);
    return row;
}

// The entries joined with ";" alone.
std::string JoinedTight(const std::string& list)
{
    std::string tight;
    bool first = true;
    for (const std::string& entry : recipients::SplitList(list)) {
        if (!first)
            tight += ';';
        tight += entry;
        first = false;
    }
    return tight;
}

}  // namespace

CObjectInfoDlg::CObjectInfoDlg(DbRequestSink requestSink, QWidget* parent)
    : QDialog(parent, Qt::Window), requests(std::move(requestSink))
{
    setModal(false);
    BuildControls();
    Clear(std::string());
    Translate();
}

CObjectInfoDlg::~CObjectInfoDlg()
{
    // The open list lives beside this window (its parent is the owner); it
    // must not call back into a window that is gone.
    delete openList.data();
}

COpenObjectInfoDlg* CObjectInfoDlg::OpenList() const
{
    return openList.data();
}

void CObjectInfoDlg::SetBeep(std::function<void()> function)
{
    beep = std::move(function);
}

// ---------------------------------------------------------------------------
// Controls

void CObjectInfoDlg::BuildControls()
{
    auto label = [this](const char* key) {
        auto* text = new QLabel(this);
        text->setObjectName(QLatin1String(key));
        labels[text] = key;
        return text;
    };

    objectGroup = new QGroupBox(this);
    objectGroup->setObjectName(QStringLiteral("IDC_OBJECT_INFO_OBJECT_INFORMATION"));
    technicalGroup = new QGroupBox(this);
    technicalGroup->setObjectName(QStringLiteral("IDC_OBJECT_INFO_TECHNICAL_ALARMS"));
    emergencyGroup = new QGroupBox(this);
    emergencyGroup->setObjectName(QStringLiteral("IDC_OBJECT_INFO_EMERGENCY_CALL"));
    customerGroup = new QGroupBox(this);
    customerGroup->setObjectName(QStringLiteral("IDC_OBJECT_INFO_CUSTOMER"));

    idCode = NewLine(this, "IdCode", kIdCodeChars, true);
    phoneNumber = NewLine(this, "PhoneNumber", kPhoneNumberChars);
    idInfo = NewLine(this, "IdInfo", kTextChars);
    address = NewLine(this, "Address", kTextChars);
    days = new QSpinBox(this);
    days->setObjectName(QStringLiteral("Days"));
    days->setRange(0, kMaxDays);
    testAlarmOnly = new QCheckBox(this);
    testAlarmOnly->setObjectName(QStringLiteral("TestAlarmOnly"));
    alarmPopUp = new QCheckBox(this);
    alarmPopUp->setObjectName(QStringLiteral("AlarmPopUpEnabled"));
    mailTech = NewLine(this, "MailAddrTech", kLongTextChars);
    smsTech = NewLine(this, "SmsNumTech", kTextChars);
    mailEmg = NewLine(this, "MailAddrEmg", kLongTextChars);
    smsEmg = NewLine(this, "SmsNumEmg", kTextChars);
    notes = new QPlainTextEdit(this);
    notes->setObjectName(QStringLiteral("Notes"));
    notes->setTabChangesFocus(true);
    LimitText(notes, kLongTextChars);
    elevatorType = NewLine(this, "ElevatorType", kTextChars);
    customer = new QLineEdit(this);
    customer->setObjectName(QStringLiteral("Customer"));
    customer->setReadOnly(true);
    customerInfo = new QPlainTextEdit(this);
    customerInfo->setObjectName(QStringLiteral("CustomerInfo"));
    customerInfo->setReadOnly(true);
    customerInfo->setTabChangesFocus(true);

    mailTechButton = NewDots(this, "MailAddrTechButton");
    smsTechButton = NewDots(this, "SmsNumTechButton");
    mailEmgButton = NewDots(this, "MailAddrEmgButton");
    smsEmgButton = NewDots(this, "SmsNumEmgButton");
    customerButton = NewDots(this, "CustomerButton");

    auto button = [this](const char* key) {
        auto* pushButton = new QPushButton(this);
        pushButton->setObjectName(QLatin1String(key));
        // No button is pressed by Return from a field (see keyPressEvent).
        pushButton->setAutoDefault(false);
        pushButton->setDefault(false);
        return pushButton;
    };
    newButton = button("IDC_OBJECT_INFO_NEW");
    addButton = button("IDC_OBJECT_INFO_ADD");
    saveButton = button("IDC_OBJECT_INFO_SAVE");
    copyButton = button("IDC_OBJECT_INFO_COPY_OBJECT");
    deleteButton = button("IDC_OBJECT_INFO_DELETE_OBJECT");
    closeButton = button("IDC_OBJECT_INFO_CLOSE");
    for (QPushButton* dots : {mailTechButton, smsTechButton, mailEmgButton, smsEmgButton, customerButton}) {
        dots->setAutoDefault(false);
        dots->setDefault(false);
    }

    const int textWidth = idInfo->fontMetrics().averageCharWidth() * 40;
    for (QLineEdit* field : {idInfo, address, elevatorType, mailTech, smsTech, mailEmg, smsEmg, customer})
        field->setMinimumWidth(textWidth);
    const int codeWidth = idCode->fontMetrics().averageCharWidth() * (kIdCodeChars + 2);
    idCode->setMinimumWidth(codeWidth);
    phoneNumber->setMinimumWidth(codeWidth);
    notes->setMinimumHeight(notes->fontMetrics().lineSpacing() * 5 + 12);
    customerInfo->setMinimumHeight(customerInfo->fontMetrics().lineSpacing() * 4 + 12);

    // The object itself on the left, its recipients and customer on the right.
    auto* objectForm = new QFormLayout(objectGroup);
    objectForm->addRow(label("IDC_OBJECT_INFO_LBL_ID_CODE"), idCode);
    objectForm->addRow(label("IDC_OBJECT_INFO_PHONE_NUMBER"), phoneNumber);
    objectForm->addRow(label("IDC_OBJECT_INFO_ID_INFO"), idInfo);
    objectForm->addRow(label("IDC_OBJECT_INFO_ADDRESS"), address);
    objectForm->addRow(label("IDC_OBJECT_INFO_NO_OF_DAYS"), days);
    objectForm->addRow(label("IDC_OBJECT_INFO_TEST_ALARM_ONLY"), testAlarmOnly);
    objectForm->addRow(label("IDC_OBJECT_INFO_ALARM_POPUP"), alarmPopUp);
    objectForm->addRow(label("IDC_OBJECT_INFO_ELEVATOR_TYPE"), elevatorType);
    objectForm->addRow(label("IDC_OBJECT_INFO_NOTES"), notes);

    auto* technicalForm = new QFormLayout(technicalGroup);
    technicalForm->addRow(label("IDC_OBJECT_INFO_E_MAIL"), WithButton(mailTech, mailTechButton));
    technicalForm->addRow(label("IDC_OBJECT_INFO_SMS_NUMBER"), WithButton(smsTech, smsTechButton));
    auto* emergencyForm = new QFormLayout(emergencyGroup);
    emergencyForm->addRow(label("IDC_OBJECT_INFO_E_MAIL1"), WithButton(mailEmg, mailEmgButton));
    emergencyForm->addRow(label("IDC_OBJECT_INFO_SMS_NUMBER1"), WithButton(smsEmg, smsEmgButton));
    auto* customerForm = new QFormLayout(customerGroup);
    customerForm->addRow(label("IDC_OBJECT_INFO_NAME"), WithButton(customer, customerButton));
    customerForm->addRow(label("IDC_OBJECT_INFO_INFO"), customerInfo);

    auto* right = new QVBoxLayout;
    right->addWidget(technicalGroup);
    right->addWidget(emergencyGroup);
    right->addWidget(customerGroup, 1);

    auto* columns = new QHBoxLayout;
    columns->addWidget(objectGroup, 1);
    columns->addLayout(right, 1);

    auto* buttons = new QHBoxLayout;
    for (QPushButton* pushButton : {newButton, addButton, saveButton, copyButton, deleteButton})
        buttons->addWidget(pushButton);
    buttons->addStretch(1);
    buttons->addWidget(closeButton);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(columns, 1);
    layout->addLayout(buttons);

    // Reading order: the object column top to bottom, then the right column,
    // then the buttons from left to right.
    QWidget* const order[] = {
        idCode,        phoneNumber, idInfo,       address,        days,           testAlarmOnly, alarmPopUp,
        elevatorType,  notes,       mailTech,     mailTechButton, smsTech,        smsTechButton, mailEmg,
        mailEmgButton, smsEmg,      smsEmgButton, customer,       customerButton, customerInfo,  newButton,
        addButton,     saveButton,  copyButton,   deleteButton,   closeButton,
    };
    for (size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);

    SetToolTipKey(idCode, "IDS_OBJECTINFODLG_MSG_22");
    SetToolTipKey(idInfo, "IDS_OBJECTINFODLG_MSG_23");
    SetToolTipKey(phoneNumber, "IDS_OBJECTINFODLG_MSG_39");
    SetToolTipKey(address, "IDS_OBJECTINFODLG_MSG_24");
    SetToolTipKey(days, "IDS_OBJECTINFODLG_MSG_25");
    SetToolTipKey(testAlarmOnly, "IDS_OBJECTINFODLG_MSG_26");
    SetToolTipKey(alarmPopUp, "IDS_OBJECTINFODLG_MSG_27");
    SetToolTipKey(mailTech, "IDS_OBJECTINFODLG_MSG_28");
    SetToolTipKey(smsTech, "IDS_OBJECTINFODLG_MSG_29");
    SetToolTipKey(mailEmg, "IDS_OBJECTINFODLG_MSG_30");
    SetToolTipKey(smsEmg, "IDS_OBJECTINFODLG_MSG_31");
    SetToolTipKey(mailTechButton, "IDS_OBJECTINFODLG_MSG_32");
    SetToolTipKey(mailEmgButton, "IDS_OBJECTINFODLG_MSG_32");
    SetToolTipKey(smsTechButton, "IDS_OBJECTINFODLG_MSG_33");
    SetToolTipKey(smsEmgButton, "IDS_OBJECTINFODLG_MSG_33");
    SetToolTipKey(notes, "IDS_OBJECTINFODLG_MSG_34");
    SetToolTipKey(elevatorType, "IDS_OBJECTINFODLG_MSG_35");
    SetToolTipKey(customer, "IDS_OBJECTINFODLG_MSG_36");
    SetToolTipKey(customerButton, "IDS_OBJECTINFODLG_MSG_37");
    SetToolTipKey(customerInfo, "IDS_OBJECTINFODLG_MSG_38");

    connect(newButton, &QPushButton::clicked, this, [this] { OnNew(); });
    connect(addButton, &QPushButton::clicked, this, [this] { OnAdd(); });
    connect(saveButton, &QPushButton::clicked, this, [this] { OnSave(); });
    connect(copyButton, &QPushButton::clicked, this, [this] { OnCopyObject(); });
    connect(deleteButton, &QPushButton::clicked, this, [this] { OnDelete(); });
    connect(closeButton, &QPushButton::clicked, this, [this] { OnClose(); });
    connect(customerButton, &QPushButton::clicked, this, [this] { OnCustomerButton(); });
    connect(mailTechButton, &QPushButton::clicked, this, [this] { OnRecipientButton(mailTech, false); });
    connect(smsTechButton, &QPushButton::clicked, this, [this] { OnRecipientButton(smsTech, true); });
    connect(mailEmgButton, &QPushButton::clicked, this, [this] { OnRecipientButton(mailEmg, false); });
    connect(smsEmgButton, &QPushButton::clicked, this, [this] { OnRecipientButton(smsEmg, true); });
}

void CObjectInfoDlg::SetToolTipKey(QWidget* widget, const char* key)
{
    toolTipKeys[widget] = key;
    widget->installEventFilter(this);
    // A multi-line field gets the pointer's events in its viewport.
    if (auto* area = qobject_cast<QAbstractScrollArea*>(widget)) {
        toolTipKeys[area->viewport()] = key;
        area->viewport()->installEventFilter(this);
    }
}

bool CObjectInfoDlg::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        const auto found = toolTipKeys.find(watched);
        if (found != toolTipKeys.end()) {
            // Looked up now, so a change of language shows at once.
            auto* help = static_cast<QHelpEvent*>(event);
            QToolTip::showText(help->globalPos(), Tr(found->second), static_cast<QWidget*>(watched));
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void CObjectInfoDlg::Translate()
{
    setWindowTitle(Tr(editMode ? "IDS_OBJECTINFODLG_MSG_1" : "IDS_OBJECTINFODLG_MSG_2"));
    for (const auto& [text, key] : labels)
        text->setText(Tr(key));
    objectGroup->setTitle(Tr("IDC_OBJECT_INFO_OBJECT_INFORMATION"));
    technicalGroup->setTitle(Tr("IDC_OBJECT_INFO_TECHNICAL_ALARMS"));
    emergencyGroup->setTitle(Tr("IDC_OBJECT_INFO_EMERGENCY_CALL"));
    customerGroup->setTitle(Tr("IDC_OBJECT_INFO_CUSTOMER"));
    newButton->setText(Tr("IDC_OBJECT_INFO_NEW"));
    addButton->setText(Tr("IDC_OBJECT_INFO_ADD"));
    saveButton->setText(Tr("IDC_OBJECT_INFO_SAVE"));
    copyButton->setText(Tr("IDC_OBJECT_INFO_COPY_OBJECT"));
    deleteButton->setText(Tr("IDC_OBJECT_INFO_DELETE_OBJECT"));
    closeButton->setText(Tr("IDC_OBJECT_INFO_CLOSE"));
}

void CObjectInfoDlg::showEvent(QShowEvent* event)
{
    // The operator may have chosen another language since the last time.
    Translate();
    QDialog::showEvent(event);
}

void CObjectInfoDlg::keyPressEvent(QKeyEvent* event)
{
    // Return presses only the button that has the focus. In a field it does
    // nothing, so an object is never added or saved by a stray Return; Add
    // and Save are their buttons, Alt with their letter, or Return on them.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        if (auto* focused = qobject_cast<QPushButton*>(focusWidget())) {
            if (focused->isEnabled())
                focused->click();
        }
        event->accept();
        return;
    }
    // Escape runs reject(), the close routine.
    QDialog::keyPressEvent(event);
}

// ---------------------------------------------------------------------------
// Fields and modes

CObjectInfoDlg::Fields CObjectInfoDlg::ReadFields() const
{
    Fields fields;
    fields.idCode = idCode->text().toStdString();
    fields.phoneNumber = phoneNumber->text().toStdString();
    fields.idInfo = idInfo->text().toStdString();
    fields.address = address->text().toStdString();
    fields.days = days->value();
    fields.testAlarmOnly = testAlarmOnly->isChecked();
    fields.alarmPopUp = alarmPopUp->isChecked();
    fields.mailTech = mailTech->text().toStdString();
    fields.smsTech = smsTech->text().toStdString();
    fields.mailEmg = mailEmg->text().toStdString();
    fields.smsEmg = smsEmg->text().toStdString();
    fields.notes = notes->toPlainText().toStdString();
    fields.elevatorType = elevatorType->text().toStdString();
    fields.customer = customer->text().toStdString();
    fields.customerInfo = customerInfo->toPlainText().toStdString();
    return fields;
}

void CObjectInfoDlg::WriteFields(const Fields& fields)
{
    idCode->setText(Q(fields.idCode));
    phoneNumber->setText(Q(fields.phoneNumber));
    idInfo->setText(Q(fields.idInfo));
    address->setText(Q(fields.address));
    days->setValue(fields.days);
    testAlarmOnly->setChecked(fields.testAlarmOnly);
    alarmPopUp->setChecked(fields.alarmPopUp);
    mailTech->setText(Q(fields.mailTech));
    smsTech->setText(Q(fields.smsTech));
    mailEmg->setText(Q(fields.mailEmg));
    smsEmg->setText(Q(fields.smsEmg));
    // Notes of an older installation break lines with CR LF; the field
    // breaks them with LF (a lone CR would become a line of its own).
    QString text = Q(fields.notes);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    notes->setPlainText(text);
    elevatorType->setText(Q(fields.elevatorType));
    customer->setText(Q(fields.customer));
    QString info = Q(fields.customerInfo);
    info.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    customerInfo->setPlainText(info);
}

bool CObjectInfoDlg::IsChanged() const
{
    return !(ReadFields() == snapshot);
}

void CObjectInfoDlg::ApplyMode()
{
    setWindowTitle(Tr(editMode ? "IDS_OBJECTINFODLG_MSG_1" : "IDS_OBJECTINFODLG_MSG_2"));
    addButton->setEnabled(!editMode);
    saveButton->setEnabled(editMode);
    copyButton->setEnabled(editMode);
    deleteButton->setEnabled(editMode);
    idCode->setReadOnly(editMode);
    QLineEdit* first = editMode ? idInfo : idCode;
    first->setFocus();
}

void CObjectInfoDlg::Clear(const std::string& code)
{
    Fields fields;
    fields.idCode = code;
    fields.alarmPopUp = true;
    WriteFields(fields);
    snapshot = ReadFields();
    beforeSave = snapshot;
    editMode = false;
    ApplyMode();
}

void CObjectInfoDlg::Load(const CObjectInfoMsg& record)
{
    Fields fields;
    fields.idCode = record.IdCode;
    fields.phoneNumber = record.PhoneNumber;
    fields.idInfo = record.IdInfo;
    fields.address = record.Address;
    fields.days = std::clamp<int>(record.Days, 0, kMaxDays);
    fields.testAlarmOnly = record.TestAlarmOnly != 0;
    fields.alarmPopUp = record.AlarmPopUpEnabled != 0;
    fields.mailTech = record.MailAddrTech;
    fields.smsTech = record.SmsNumTech;
    fields.mailEmg = record.MailAddrEmg;
    fields.smsEmg = record.SmsNumEmg;
    fields.notes = record.Notes;
    fields.elevatorType = record.ElevatorType;
    fields.customer = record.Customer;
    fields.customerInfo = record.CustomerRecord ? record.CustomerRecord->Info : std::string();
    WriteFields(fields);
    snapshot = ReadFields();
    beforeSave = snapshot;
    currentIdCode = record.IdCode;
    editMode = true;
    ApplyMode();
    ShowInFront();
}

// ---------------------------------------------------------------------------
// Operations

void CObjectInfoDlg::OpenNewObject(const std::string& code)
{
    if (isVisible()) {
        Beep();
        ShowInFront();
        return;
    }
    openedFromList = false;
    Clear(code);
    ShowInFront();
}

void CObjectInfoDlg::FindObject(const std::string& key, bool byPhoneNumber)
{
    if (isVisible()) {
        Beep();
        ShowInFront();
        return;
    }
    openedFromList = false;
    SendFind(byPhoneNumber ? OBJECT_KIND_BY_PHONE : OBJECT_KIND_BY_ID, key);
}

void CObjectInfoDlg::OpenFromList()
{
    if (isVisible() || openList) {
        Beep();
        // The list is what the operator is looking for when it is there.
        if (openList) {
            openList->show();
            openList->raise();
            openList->activateWindow();
        } else {
            ShowInFront();
        }
        return;
    }
    openedFromList = true;
    RequestAllObjects();
}

void CObjectInfoDlg::SaveCommand()
{
    if (!isVisible()) {
        Beep();
        return;
    }
    SaveRoutine();
    ShowInFront();
}

void CObjectInfoDlg::SendFind(int32_t kind, const std::string& key)
{
    auto request = std::make_unique<CObjectInfoReqMsg>(DBMSG_FIND_OBJECT_INFO);
    request->Kind = kind;
    request->Key = key;
    // The reply type the document routes to this window.
    request->ReplyType = DBMSG_OBJECT_INFO;
    if (requests)
        requests(std::move(request));
}

void CObjectInfoDlg::RequestAllObjects()
{
    SendFind(OBJECT_KIND_ALL, std::string());
}

// ---------------------------------------------------------------------------
// Buttons

void CObjectInfoDlg::OnNew()
{
    if (!AskToKeepChanges())
        return;
    Clear(std::string());
    ShowInFront();
}

void CObjectInfoDlg::OnAdd()
{
    SaveRoutine();
}

void CObjectInfoDlg::OnSave()
{
    SaveRoutine();
}

void CObjectInfoDlg::OnCopyObject()
{
    idCode->clear();
    phoneNumber->clear();
    snapshot = ReadFields();
    beforeSave = snapshot;
    editMode = false;
    ApplyMode();
}

void CObjectInfoDlg::OnDelete()
{
    const auto answer = orvabox::AskInWindow(this, LookupText("IDS_OBJECTINFODLG_MSG_11"), QMessageBox::Warning,
                                             QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    if (answer == QMessageBox::Yes) {
        auto request = std::make_unique<CObjectInfoReqMsg>(DBMSG_DELETE_OBJECT_INFO);
        request->Kind = OBJECT_KIND_BY_ID;
        request->Key = idCode->text().toStdString();
        request->ReplyType = DBMSG_OBJECT_INFO;
        if (requests)
            requests(std::move(request));
        Clear(std::string());
    }
    ShowInFront();
}

bool CObjectInfoDlg::AskToKeepChanges()
{
    if (!IsChanged())
        return true;
    ShowInFront();
    const auto answer = orvabox::AskInWindow(
        this, LookupText(editMode ? "IDS_OBJECTINFODLG_MSG_13" : "IDS_OBJECTINFODLG_MSG_15"), QMessageBox::Warning,
        QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Yes);
    if (answer == QMessageBox::Yes)
        return SaveRoutine();
    return answer == QMessageBox::No;
}

bool CObjectInfoDlg::OnClose()
{
    if (!AskToKeepChanges())
        return false;
    hide();
    if (openedFromList)
        RequestAllObjects();
    return true;
}

void CObjectInfoDlg::reject()
{
    // Escape and the close box (through QDialog::closeEvent) arrive here.
    OnClose();
}

// ---------------------------------------------------------------------------
// Saving

bool CObjectInfoDlg::Validate()
{
    // Every check runs and tells its own failure; the focus ends on the last
    // field that failed.
    bool valid = true;
    if (!recipients::IsValidIdCode(idCode->text().toStdString())) {
        Warn(Tr("IDS_OBJECTINFODLG_MSG_17"), idCode, true);
        valid = false;
    }
    if (!recipients::IsValidPhoneNumber(phoneNumber->text().toStdString())) {
        Warn(QStringLiteral("Only telephone numbers starting with '+' is valid"), phoneNumber, true);
        valid = false;
    }
    const struct {
        QLineEdit* field;
        bool sms;
        const char* key;
    } lists[] = {
        {mailTech, false, "IDS_OBJECTINFODLG_MSG_18"},
        {smsTech, true, "IDS_OBJECTINFODLG_MSG_19"},
        {mailEmg, false, "IDS_OBJECTINFODLG_MSG_20"},
        {smsEmg, true, "IDS_OBJECTINFODLG_MSG_21"},
    };
    for (const auto& list : lists) {
        const std::string text = list.field->text().toStdString();
        if (!(list.sms ? recipients::IsValidSmsList(text) : recipients::IsValidMailList(text))) {
            Warn(Tr(list.key), list.field, false);
            valid = false;
        }
    }
    return valid;
}

bool CObjectInfoDlg::SaveRoutine()
{
    if (!Validate())
        return false;
    const Fields fields = ReadFields();
    auto record = std::make_unique<CObjectInfoMsg>(editMode ? DBMSG_EDIT_OBJECT_INFO : DBMSG_ADD_OBJECT_INFO);
    record->ReplyType = DBMSG_OBJECT_INFO;
    record->IdCode = fields.idCode;
    record->PhoneNumber = fields.phoneNumber;
    record->IdInfo = fields.idInfo;
    record->Address = fields.address;
    record->Days = static_cast<int16_t>(fields.days);
    // Saving restarts the object's test-alarm supervision from now.
    record->LastTestAlarm = COleDateTime::GetCurrentTime();
    record->TestAlarmOnly = fields.testAlarmOnly ? 1 : 0;
    record->AlarmPopUpEnabled = fields.alarmPopUp ? 1 : 0;
    record->MailAddrTech = fields.mailTech;
    record->SmsNumTech = fields.smsTech;
    record->MailAddrEmg = fields.mailEmg;
    record->SmsNumEmg = fields.smsEmg;
    record->ElevatorType = fields.elevatorType;
    record->Customer = fields.customer;
    record->Notes = fields.notes;
    beforeSave = snapshot;
    snapshot = fields;
    if (requests)
        requests(std::move(record));
    return true;
}

// ---------------------------------------------------------------------------
// Customer and recipients

void CObjectInfoDlg::OnCustomerButton()
{
    QPointer<CObjectInfoDlg> self(this);
    QPointer<CCustomerInfoDlg> dialog = new CCustomerInfoDlg(requests, customer->text().toStdString(), this);
    customerDlg = dialog;
    const int result = orvabox::ExecInWindow(*dialog);
    if (!self)
        return;
    customerDlg = nullptr;
    if (!dialog)
        return;
    if (result == QDialog::Accepted) {
        customer->setText(Q(dialog->GetName()));
        QString info = Q(dialog->GetInfo());
        info.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        customerInfo->setPlainText(info);
    }
    delete dialog.data();
}

void CObjectInfoDlg::OnRecipientButton(QLineEdit* field, bool sms)
{
    QPointer<CObjectInfoDlg> self(this);
    QPointer<CMailSmsNumInfoDlg> dialog =
        new CMailSmsNumInfoDlg(requests, sms ? RecipientMode::Sms : RecipientMode::Mail,
                               sms ? DBMSG_SMS_NUM_INFO : DBMSG_MAIL_INFO, field->text().toStdString(), this);
    recipientDlg = dialog;
    const int result = orvabox::ExecInWindow(*dialog);
    if (!self)
        return;
    recipientDlg = nullptr;
    if (!dialog)
        return;
    if (result == QDialog::Accepted) {
        const int limit = (field == mailTech || field == mailEmg) ? kLongTextChars : kTextChars;
        std::string list = dialog->GetList();
        // The blanks after the separators are only for reading; without them
        // a long list may still fit.
        if (charlimit::Count(Q(list)) > limit)
            list = JoinedTight(list);
        if (charlimit::Count(Q(list)) > limit) {
            // Cut, some recipients would be lost without a word: the field
            // keeps its list.
            Beep();
        } else {
            field->setText(Q(list));
        }
    }
    delete dialog.data();
}

// ---------------------------------------------------------------------------
// Answers

void CObjectInfoDlg::PostReply(std::unique_ptr<CMsg> reply)
{
    queuedreply::Post(this, std::move(reply), [this](std::unique_ptr<CMsg> msg) { OnReply(std::move(msg)); });
}

void CObjectInfoDlg::OnReply(std::unique_ptr<CMsg> reply)
{
    if (!reply)
        return;
    switch (reply->GetType()) {
    case DBMSG_OBJECT_INFO:
        OnObjectReply(std::move(reply));
        break;
    case DBMSG_CUSTOMER_INFO:
        if (customerDlg)
            customerDlg->OnReply(std::move(reply));
        break;
    case DBMSG_MAIL_INFO:
    case DBMSG_SMS_NUM_INFO:
        if (recipientDlg)
            recipientDlg->OnReply(std::move(reply));
        break;
    default:
        // Nobody asked for it: dropped.
        break;
    }
}

void CObjectInfoDlg::OnObjectReply(std::unique_ptr<CMsg> reply)
{
    const auto* result = dynamic_cast<const CDatabaseMsg*>(reply.get());
    if (result == nullptr)
        return;
    const auto refused = [this] { snapshot = beforeSave; };
    switch (result->Result) {
    case DBRES_OBJECT_ADDED:
        if (isVisible()) {
            Tell(Tr("IDS_OBJECTINFODLG_MSG_3"), QMessageBox::Information);
            Clear(std::string());
            ShowInFront();
        }
        break;
    case DBRES_OBJECT_ID_EXISTS: {
        refused();
        QString text = Tr("IDS_OBJECTINFODLG_MSG_4");
        text.replace(QStringLiteral("%s"), idCode->text());
        Tell(text, QMessageBox::Warning);
        idCode->setFocus();
        break;
    }
    case DBRES_OBJECT_PHONE_EXISTS:
        refused();
        Tell(QStringLiteral("Telephone number '%1' already exists, delete the current item or use another number")
                 .arg(phoneNumber->text()),
             QMessageBox::Warning);
        phoneNumber->setFocus();
        break;
    case DBRES_OBJECT_ADD_ERROR:
        refused();
        Tell(Tr("IDS_OBJECTINFODLG_MSG_5"), QMessageBox::Critical);
        break;
    case DBRES_OBJECT_FOUND_ID:
    case DBRES_OBJECT_FOUND_PHONE:
        if (const auto* record = dynamic_cast<const CObjectInfoMsg*>(reply.get())) {
            // An object picked in the open list while this window shows
            // unsaved input: the operator decides first (Cancel keeps the input).
            if (isVisible() && !AskToKeepChanges())
                break;
            Load(*record);
        }
        break;
    case DBRES_OBJECT_FOUND_ALL: {
        ShowList(MsgCast<CObjectInfoMsg>(reply));
        break;
    }
    case DBRES_OBJECT_NONE:
    case DBRES_OBJECT_FIND_ERROR:
        ShowList(nullptr);
        break;
    case DBRES_OBJECT_EDITED:
        Tell(Tr("IDS_OBJECTINFODLG_MSG_6"), QMessageBox::Information);
        break;
    case DBRES_OBJECT_PHONE_USED:
        refused();
        Tell(QStringLiteral("Duplicate Phone Number: %1").arg(phoneNumber->text()), QMessageBox::Warning);
        phoneNumber->setFocus();
        break;
    case DBRES_OBJECT_EDIT_NOT_FOUND:
        refused();
        Tell(Tr("IDS_OBJECTINFODLG_MSG_7"), QMessageBox::Critical);
        break;
    case DBRES_OBJECT_EDIT_ERROR:
        refused();
        Tell(Tr("IDS_OBJECTINFODLG_MSG_8"), QMessageBox::Critical);
        break;
    case DBRES_OBJECT_DELETED:
        break;
    case DBRES_OBJECT_DELETE_NOT_FOUND:
        Tell(Tr("IDS_OBJECTINFODLG_MSG_9"), QMessageBox::Critical);
        break;
    case DBRES_OBJECT_DELETE_ERROR:
        Tell(Tr("IDS_OBJECTINFODLG_MSG_10"), QMessageBox::Critical);
        break;
    default:
        break;
    }
}

void CObjectInfoDlg::ShowList(std::unique_ptr<CObjectInfoMsg> records)
{
    // At most one list: a new answer replaces the one shown.
    delete openList.data();
    QPointer<CObjectInfoDlg> self(this);
    auto* list = new COpenObjectInfoDlg(
        requests,
        [self](bool) {
            // An object opened from the list keeps "opened from the list";
            // opening one any other way clears it (OpenNewObject, FindObject).
            if (self)
                self->openList = nullptr;
        },
        parentWidget());
    list->SetBeep([self] {
        if (self)
            self->Beep();
    });
    openList = list;
    list->Fill(currentIdCode, std::move(records));
    list->show();
}

// ---------------------------------------------------------------------------
// Boxes and beeps

void CObjectInfoDlg::Tell(const QString& text, QMessageBox::Icon icon)
{
    QPointer<CObjectInfoDlg> self(this);
    orvabox::AskInWindow(this, text.toStdString(), icon, QMessageBox::Ok, QMessageBox::Ok);
    if (self)
        ShowInFront();
}

void CObjectInfoDlg::Warn(const QString& text, QWidget* focus, bool selectAll)
{
    orvabox::AskInWindow(this, text.toStdString(), QMessageBox::Warning, QMessageBox::Ok, QMessageBox::Ok);
    focus->setFocus();
    if (selectAll) {
        if (auto* line = qobject_cast<QLineEdit*>(focus))
            line->selectAll();
    }
}

void CObjectInfoDlg::ShowInFront()
{
    show();
    raise();
    activateWindow();
}

void CObjectInfoDlg::Beep()
{
    if (beep)
        beep();
    else
        QApplication::beep();
}
