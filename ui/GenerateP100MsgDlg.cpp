#include "ui/GenerateP100MsgDlg.h"

#include "messages/ComMsg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>

namespace {

const char* const kAlarmTypes[] = {"No Voice", "Voice", "OpFail", "Test", "User Data"};
const uint8_t kMessageCodes[] = {0, 1, 2, 3, 5};
const char* const kSubCodes[] = {"Inputs",         "Battery",       "Mic/Speaker", "VC Receipt",
                                 "Start of Alarm", "End of Alarm",  "Maintenance", "Mains Info",
                                 "Stuck Button",   "Unit Response", " Bus Failure"};

constexpr int kRawType = 0;
constexpr int kRawLen = 1;
constexpr int kRawC1 = 2;

// The count of an identity message, and of an operational failure with its
// sub code and extra byte.
constexpr uint8_t kIdentityCount = 8;
constexpr uint8_t kOpFailCount = 11;

// One P100 character of an identity: digits are their value; the hex
// letters give 10 to 15, which lets an engineer try an identity the decoder
// must refuse.
uint8_t IdentityValue(QChar c)
{
    const int value = QString(c).toInt(nullptr, 16);
    return static_cast<uint8_t>(std::clamp(value, 0, 15));
}

QSpinBox* NibbleField(QWidget* parent, const QString& name)
{
    auto* field = new QSpinBox(parent);
    field->setObjectName(name);
    field->setRange(0, 15);
    return field;
}

}  // namespace

CGenerateP100MsgDlg::CGenerateP100MsgDlg(QWidget* owner, SendFunction sendFunction)
    : QDialog(owner), send(std::move(sendFunction))
{
    setModal(false);
    setObjectName(QStringLiteral("GenerateP100MsgDlg"));
    setWindowTitle(QStringLiteral("Generate P100 Message"));

    // The choices.
    auto* idLabel = new QLabel(QStringLiteral("&ID Code:"), this);
    idCode = new QLineEdit(QStringLiteral("12345678"), this);
    idCode->setObjectName(QStringLiteral("IdCode"));
    idCode->setMaxLength(kMaxIdChars);
    idCode->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("[0-9A-Fa-f]{0,%1}").arg(kMaxIdChars)), idCode));
    idLabel->setBuddy(idCode);

    auto* typeLabel = new QLabel(QStringLiteral("&Alarm Type:"), this);
    alarmType = new QComboBox(this);
    alarmType->setObjectName(QStringLiteral("AlarmType"));
    for (const char* label : kAlarmTypes)
        alarmType->addItem(QString::fromLatin1(label));
    alarmType->setCurrentIndex(kTest);
    typeLabel->setBuddy(alarmType);

    auto* subLabel = new QLabel(QStringLiteral("T&ype:"), this);
    subCode = new QComboBox(this);
    subCode->setObjectName(QStringLiteral("OpFailType"));
    for (const char* label : kSubCodes)
        subCode->addItem(QString::fromLatin1(label));
    subLabel->setBuddy(subCode);

    auto* choices = new QGridLayout;
    choices->addWidget(idLabel, 0, 0);
    choices->addWidget(idCode, 0, 1);
    choices->addWidget(typeLabel, 1, 0);
    choices->addWidget(alarmType, 1, 1);
    choices->addWidget(subLabel, 2, 0);
    choices->addWidget(subCode, 2, 1);
    choices->setColumnStretch(1, 1);

    // The user data: a byte count and seven bytes, in hexadecimal.
    auto* userGroup = new QGroupBox(QStringLiteral("User Data"), this);
    userGroup->setObjectName(QStringLiteral("UserData"));
    auto* userLayout = new QGridLayout(userGroup);
    dataLen = new QSpinBox(userGroup);
    dataLen->setObjectName(QStringLiteral("DataLen"));
    dataLen->setRange(0, kMaxDataBytes);
    userLayout->addWidget(new QLabel(QStringLiteral("Len"), userGroup), 0, 0);
    userLayout->addWidget(dataLen, 1, 0);
    for (int i = 0; i < kMaxDataBytes; ++i) {
        auto* field = new QSpinBox(userGroup);
        field->setObjectName(QStringLiteral("Data%1").arg(i + 1));
        field->setRange(0, 255);
        field->setDisplayIntegerBase(16);
        field->setPrefix(QStringLiteral("0x"));
        data[static_cast<std::size_t>(i)] = field;
        userLayout->addWidget(new QLabel(QStringLiteral("Data %1").arg(i + 1), userGroup), 0, i + 1);
        userLayout->addWidget(field, 1, i + 1);
    }

    // The raw fields: the frame as it is sent, two rows.
    auto* rawGroup = new QGroupBox(QStringLiteral("Message"), this);
    rawGroup->setObjectName(QStringLiteral("RawFields"));
    auto* rawLayout = new QGridLayout(rawGroup);
    constexpr int kPerRow = 9;
    for (int i = 0; i < static_cast<int>(raw.size()); ++i) {
        const QString name = i == kRawType  ? QStringLiteral("Type")
                             : i == kRawLen ? QStringLiteral("Len")
                                            : QStringLiteral("C%1").arg(i - kRawC1 + 1);
        raw[static_cast<std::size_t>(i)] = NibbleField(rawGroup, name);
        const int row = (i / kPerRow) * 2;
        rawLayout->addWidget(new QLabel(name, rawGroup), row, i % kPerRow);
        rawLayout->addWidget(raw[static_cast<std::size_t>(i)], row + 1, i % kPerRow);
    }

    automatic = new QCheckBox(QStringLiteral("A&utomatic Update"), this);
    automatic->setObjectName(QStringLiteral("AutomaticUpdate"));
    automatic->setChecked(true);
    updateButton = new QPushButton(QStringLiteral("U&pdate"), this);
    updateButton->setObjectName(QStringLiteral("Update"));
    updateButton->setAutoDefault(false);
    sendButton = new QPushButton(QStringLiteral("&Send"), this);
    sendButton->setObjectName(QStringLiteral("Send"));
    sendButton->setAutoDefault(false);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(automatic);
    buttons->addStretch(1);
    buttons->addWidget(updateButton);
    buttons->addWidget(sendButton);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(choices);
    layout->addWidget(userGroup);
    layout->addWidget(rawGroup);
    layout->addLayout(buttons);

    // Reading order: the choices, the user data, the raw fields, the buttons.
    QWidget* order[] = {idCode, alarmType, subCode, dataLen};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i)
        setTabOrder(order[i], order[i + 1]);
    QWidget* previous = dataLen;
    for (QSpinBox* field : data) {
        setTabOrder(previous, field);
        previous = field;
    }
    for (QSpinBox* field : raw) {
        setTabOrder(previous, field);
        previous = field;
    }
    setTabOrder(previous, automatic);
    setTabOrder(automatic, updateButton);
    setTabOrder(updateButton, sendButton);

    connect(idCode, &QLineEdit::textChanged, this, [this] { OnChoiceChanged(); });
    connect(alarmType, &QComboBox::currentIndexChanged, this, [this] { OnChoiceChanged(); });
    connect(subCode, &QComboBox::currentIndexChanged, this, [this] { OnChoiceChanged(); });
    connect(dataLen, &QSpinBox::valueChanged, this, [this] { OnChoiceChanged(); });
    for (QSpinBox* field : data)
        connect(field, &QSpinBox::valueChanged, this, [this] { OnChoiceChanged(); });
    connect(automatic, &QCheckBox::toggled, this, [this] { OnChoiceChanged(); });
    connect(updateButton, &QPushButton::clicked, this, [this] { OnUpdate(); });
    connect(sendButton, &QPushButton::clicked, this, [this] { OnSend(); });

    OnChoiceChanged();
}

CGenerateP100MsgDlg::~CGenerateP100MsgDlg() = default;

void CGenerateP100MsgDlg::ShowWindow()
{
    show();
    raise();
    activateWindow();
}

void CGenerateP100MsgDlg::reject()
{
    hide();
}

uint8_t CGenerateP100MsgDlg::MessageCode(int choice)
{
    if (choice < 0 || choice >= static_cast<int>(std::size(kMessageCodes)))
        return kMessageCodes[kTest];
    return kMessageCodes[choice];
}

CGenerateP100MsgDlg::RawFields CGenerateP100MsgDlg::FromChoices(const Choices& choices)
{
    RawFields fields{};
    fields[kRawType] = MessageCode(choices.alarmType);
    if (choices.alarmType == kUserData) {
        const int bytes = std::clamp(choices.dataLen, 0, kMaxDataBytes);
        for (int i = 0; i < bytes; ++i) {
            const uint8_t byte = choices.data[static_cast<std::size_t>(i)];
            fields[static_cast<std::size_t>(kRawC1 + 2 * i)] = static_cast<uint8_t>(byte >> 4);
            fields[static_cast<std::size_t>(kRawC1 + 2 * i + 1)] = static_cast<uint8_t>(byte & 0x0F);
        }
        fields[kRawLen] = static_cast<uint8_t>(2 * bytes);
        return fields;
    }
    const QString& id = choices.idCode;
    for (int i = 0; i < kRawChars; ++i)
        fields[static_cast<std::size_t>(kRawC1 + i)] = i < id.size() ? IdentityValue(id.at(i)) : 0;
    fields[kRawLen] = kIdentityCount;
    if (choices.alarmType == kOpFail) {
        // C9 is the sub code, C10 and C11 the extra byte.
        fields[kRawC1 + 8] = static_cast<uint8_t>(std::clamp(choices.subCode, 0, 15));
        fields[kRawC1 + 9] = 0;
        fields[kRawC1 + 10] = 0;
        fields[kRawLen] = kOpFailCount;
    }
    return fields;
}

std::unique_ptr<CComMsg> CGenerateP100MsgDlg::BuildFrame(const RawFields& fields)
{
    auto frame = std::make_unique<CComMsg>(TEL_SIMULATE_P100);
    frame->SetCommand(CMD_P100_DATA);
    for (std::size_t i = 0; i < fields.size(); ++i)
        frame->SetPayload(static_cast<int>(i), fields[i]);
    frame->SetLength(static_cast<int16_t>(fields.size()));
    return frame;
}

CGenerateP100MsgDlg::Choices CGenerateP100MsgDlg::GetChoices() const
{
    Choices choices;
    choices.idCode = idCode->text();
    choices.alarmType = alarmType->currentIndex();
    choices.subCode = subCode->currentIndex();
    choices.dataLen = dataLen->value();
    for (std::size_t i = 0; i < data.size(); ++i)
        choices.data[i] = static_cast<uint8_t>(data[i]->value());
    return choices;
}

CGenerateP100MsgDlg::RawFields CGenerateP100MsgDlg::GetRawFields() const
{
    RawFields fields{};
    for (std::size_t i = 0; i < raw.size(); ++i)
        fields[i] = static_cast<uint8_t>(raw[i]->value());
    return fields;
}

void CGenerateP100MsgDlg::SetRawFields(const RawFields& fields)
{
    for (std::size_t i = 0; i < raw.size(); ++i)
        raw[i]->setValue(fields[i]);
}

void CGenerateP100MsgDlg::OnUpdate()
{
    SetRawFields(FromChoices(GetChoices()));
}

void CGenerateP100MsgDlg::OnSend()
{
    if (automatic->isChecked())
        OnUpdate();
    if (send)
        send(BuildFrame(GetRawFields()));
}

void CGenerateP100MsgDlg::OnChoiceChanged()
{
    UpdateEnabled();
    // With automatic update the raw fields always show what Send sends.
    if (automatic->isChecked())
        OnUpdate();
}

void CGenerateP100MsgDlg::UpdateEnabled()
{
    const int choice = alarmType->currentIndex();
    const bool userData = choice == kUserData;
    idCode->setEnabled(!userData);
    subCode->setEnabled(choice == kOpFail);
    dataLen->setEnabled(userData);
    for (QSpinBox* field : data)
        field->setEnabled(userData);
    updateButton->setEnabled(!automatic->isChecked());
}
