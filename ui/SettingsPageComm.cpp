#include "ui/SettingsPageComm.h"

#include "ui/MessageBox.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QVBoxLayout>

namespace {

// The network selections; the entry's position is the stored value.
const char* const kNetworks[] = {"2G + 3G + 4G", "2G + 3G", "2G + 4G", "3G + 4G", "2G", "3G", "4G"};

constexpr int kBaud9600 = 9600;
constexpr int kBaud115200 = 115200;

QComboBox* NetworkList(QWidget* parent, const char* name)
{
    auto* list = new QComboBox(parent);
    list->setObjectName(QLatin1String(name));
    for (const char* network : kNetworks)
        list->addItem(QLatin1String(network));
    return list;
}

bool IsPin(const QString& text)
{
    if (text.isEmpty())
        return true;
    if (text.size() != CSettingsComm::kPinChars)
        return false;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    return true;
}

// The key that opens a drop-down list.
bool OpensDropDown(QEvent* event)
{
    if (event->type() == QEvent::MouseButtonPress)
        return static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton;
    if (event->type() != QEvent::KeyPress)
        return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    const bool alt = key->modifiers() & Qt::AltModifier;
    return key->key() == Qt::Key_F4 || key->key() == Qt::Key_Space || key->key() == Qt::Key_Select ||
           (alt && (key->key() == Qt::Key_Down || key->key() == Qt::Key_Up));
}

}  // namespace

CSettingsComm::CSettingsComm(std::function<std::vector<ComPortEntry>()> ports, QWidget* parent)
    : CSettingsPage("IDC_PP_SETTINGS_COMM_CAPTION", parent), listPorts(std::move(ports))
{
    if (!listPorts)
        listPorts = [] { return ListComPorts(); };

    telGroup = new QGroupBox(this);
    telGroup->setObjectName(QStringLiteral("IDC_PP_SETTINGS_COMM_TELEPHONE_MODEM"));
    gsmGroup = new QGroupBox(this);
    gsmGroup->setObjectName(QStringLiteral("IDC_PP_SETTINGS_COMM_GSM_MODEM"));

    telEnabled = new QCheckBox(this);
    telEnabled->setObjectName(QStringLiteral("TelEnabled"));
    telPorts = new QComboBox(this);
    telPorts->setObjectName(QStringLiteral("TelComPort"));
    ringSignals = NumberField("TelRingSignals", 2);
    cpcEnabled = new QCheckBox(this);
    cpcEnabled->setObjectName(QStringLiteral("CpcEnabled"));
    telNet = NetworkList(this, "WirelessNetSel");

    gsmEnabled = new QCheckBox(this);
    gsmEnabled->setObjectName(QStringLiteral("GsmEnabled"));
    gsmPorts = new QComboBox(this);
    gsmPorts->setObjectName(QStringLiteral("GsmComPort"));
    baudrate = new QComboBox(this);
    baudrate->setObjectName(QStringLiteral("GsmBaudrate"));
    baudrate->addItem(QStringLiteral("9600"), kBaud9600);
    baudrate->addItem(QStringLiteral("115200"), kBaud115200);
    pinCode = TextField("GsmPinCode", kPinChars);
    pinCode->setMaximumWidth(pinCode->fontMetrics().horizontalAdvance(QLatin1Char('0')) * 8 + 16);
    gsmNet = NetworkList(this, "GsmWirelessNetSel");

    for (QComboBox* list : {telPorts, gsmPorts}) {
        list->setMinimumContentsLength(8);
        list->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        // Refilled before the drop-down opens: the press or key reaches this
        // filter before the list opens.
        list->installEventFilter(this);
    }
    // Only a choice of the operator changes a port: a port that has gone
    // shows no selection and keeps its number.
    connect(telPorts, &QComboBox::activated, this,
            [this](int index) { telPort = index < 0 ? 0 : static_cast<int16_t>(telPorts->itemData(index).toInt()); });
    connect(gsmPorts, &QComboBox::activated, this,
            [this](int index) { gsmPort = index < 0 ? 0 : static_cast<int16_t>(gsmPorts->itemData(index).toInt()); });

    auto* ringRow = new QHBoxLayout;
    ringRow->setContentsMargins(0, 0, 0, 0);
    ringRow->addWidget(ringSignals);
    ringRow->addWidget(Label("IDC_PP_SETTINGS_COMM_RING_SIGNAL"));
    ringRow->addStretch(1);

    auto* telForm = new QFormLayout;
    telForm->addRow(telEnabled);
    telForm->addRow(Label("IDC_PP_SETTINGS_COMM_COMPORT"), telPorts);
    telForm->addRow(Label("IDC_PP_SETTINGS_COMM_ANSWER_AFTER"), ringRow);
    telForm->addRow(cpcEnabled);
    telForm->addRow(Label("IDC_PP_SETTINGS_COMM_WIRELESS_NET_SEL"), telNet);
    telGroup->setLayout(telForm);

    auto* gsmForm = new QFormLayout;
    gsmForm->addRow(gsmEnabled);
    gsmForm->addRow(Label("IDC_PP_SETTINGS_COMM_COMPORT1"), gsmPorts);
    gsmForm->addRow(Label("IDC_PP_SETTINGS_COMM_BAUDRATE"), baudrate);
    gsmForm->addRow(Label("IDC_PP_SETTINGS_COMM_PIN_CODE"), pinCode);
    // The same label key as the telephone modem's network list.
    gsmForm->addRow(Label("IDC_PP_SETTINGS_COMM_WIRELESS_NET_SEL"), gsmNet);
    gsmGroup->setLayout(gsmForm);

    for (QFormLayout* form : {telForm, gsmForm}) {
        for (int row = 0; row < form->rowCount(); ++row) {
            auto* label = qobject_cast<QLabel*>(form->itemAt(row, QFormLayout::LabelRole)
                                                    ? form->itemAt(row, QFormLayout::LabelRole)->widget()
                                                    : nullptr);
            if (label != nullptr) {
                if (QLayoutItem* field = form->itemAt(row, QFormLayout::FieldRole); field && field->widget())
                    label->setBuddy(field->widget());
            }
        }
    }
    for (QComboBox* list : {telNet, gsmNet, baudrate})
        list->setSizeAdjustPolicy(QComboBox::AdjustToContents);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(telGroup);
    layout->addWidget(gsmGroup);
    layout->addStretch(1);

    QWidget* const order[] = {telEnabled, telPorts, ringSignals, cpcEnabled, telNet,
                              gsmEnabled, gsmPorts, baudrate,    pinCode,    gsmNet};
    for (size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);
}

void CSettingsComm::Translate()
{
    CSettingsPage::Translate();
    telGroup->setTitle(orvabox::Text("IDC_PP_SETTINGS_COMM_TELEPHONE_MODEM"));
    gsmGroup->setTitle(orvabox::Text("IDC_PP_SETTINGS_COMM_GSM_MODEM"));
    telEnabled->setText(orvabox::Text("IDC_PP_SETTINGS_COMM_TEL_ENABLED"));
    cpcEnabled->setText(orvabox::Text("IDC_PP_SETTINGS_COMM_CPC_ENABLED"));
    gsmEnabled->setText(orvabox::Text("IDC_PP_SETTINGS_COMM_GSM_ENABLED"));
}

void CSettingsComm::Load(const SettingsValues& values)
{
    telEnabled->setChecked(values.TelEnabled != 0);
    telPort = values.TelComPort;
    SetNumber(ringSignals, values.TelRingSignals);
    cpcEnabled->setChecked(values.CpcEnabled != 0);
    telNet->setCurrentIndex(values.WirelessNetSel);
    gsmEnabled->setChecked(values.GsmEnabled != 0);
    gsmPort = values.GsmComPort;
    // Any stored rate but 115200 shows as 9600 (and is saved so on OK).
    baudrate->setCurrentIndex(values.GsmBaudrate == kBaud115200 ? 1 : 0);
    pinCode->setText(Q(values.GsmPinCode));
    gsmNet->setCurrentIndex(values.GsmWirelessNetSel);
    FillPortLists();
}

void CSettingsComm::Store(SettingsValues& values) const
{
    values.TelEnabled = telEnabled->isChecked() ? 1 : 0;
    values.TelComPort = telPort;
    values.TelRingSignals = static_cast<int16_t>(Number(ringSignals));
    values.CpcEnabled = cpcEnabled->isChecked() ? 1 : 0;
    values.WirelessNetSel = static_cast<int16_t>(telNet->currentIndex());
    values.GsmEnabled = gsmEnabled->isChecked() ? 1 : 0;
    values.GsmComPort = gsmPort;
    values.GsmBaudrate = baudrate->currentIndex() == 1 ? kBaud115200 : kBaud9600;
    values.GsmPinCode = S(pinCode->text());
    values.GsmWirelessNetSel = static_cast<int16_t>(gsmNet->currentIndex());
}

void CSettingsComm::OnSetActive()
{
    FillPortLists();
}

bool CSettingsComm::OnKillActive()
{
    if (!CheckRange(ringSignals, 0, kMaxRingSignals))
        return false;
    if (!IsPin(pinCode->text())) {
        WarnAt(orvabox::Text("IDS_SETTINGSCOMM_MSG_1"), pinCode);
        return false;
    }
    return true;
}

void CSettingsComm::FillPortLists()
{
    FillPortList(telPorts, telPort);
    FillPortList(gsmPorts, gsmPort);
}

void CSettingsComm::FillPortList(QComboBox* list, int16_t port)
{
    const QSignalBlocker quiet(list);
    list->clear();
    for (const ComPortEntry& entry : listPorts())
        list->addItem(Q(entry.label), entry.number);
    list->setCurrentIndex(list->findData(static_cast<int>(port)));
}

bool CSettingsComm::eventFilter(QObject* watched, QEvent* event)
{
    if ((watched == telPorts || watched == gsmPorts) && static_cast<QWidget*>(watched)->isEnabled() &&
        OpensDropDown(event)) {
        auto* list = static_cast<QComboBox*>(watched);
        FillPortList(list, list == telPorts ? telPort : gsmPort);
    }
    return CSettingsPage::eventFilter(watched, event);
}
