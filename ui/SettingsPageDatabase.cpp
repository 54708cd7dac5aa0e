#include "ui/SettingsPageDatabase.h"

#include "settings/Settings.h"
#include "ui/MessageBox.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

CSettingsDatabase::CSettingsDatabase(std::function<bool(std::string&)> browseFolder, QWidget* parent)
    : CSettingsPage("IDC_PP_SETTINGS_DATABASE_CAPTION", parent), browse(std::move(browseFolder))
{
    pathGroup = new QGroupBox(this);
    pathGroup->setObjectName(QStringLiteral("IDC_PP_SETTINGS_DATABASE_PATH"));
    alarmGroup = new QGroupBox(this);
    alarmGroup->setObjectName(QStringLiteral("IDC_PP_SETTINGS_DATABASE_ALARM_INFORMATION"));

    path = new QLineEdit(this);
    path->setObjectName(QStringLiteral("DatabasePath"));
    path->setReadOnly(true);
    path->setMinimumWidth(path->fontMetrics().averageCharWidth() * 48);
    browseButton = new QPushButton(this);
    browseButton->setObjectName(QStringLiteral("IDC_PP_SETTINGS_DATABASE_BROWSE_DB_PATH"));
    browseButton->setAutoDefault(false);
    months = NumberField("KeepAirMonths", 2);

    auto* pathRow = new QHBoxLayout(pathGroup);
    pathRow->addWidget(path, 1);
    pathRow->addWidget(browseButton);

    auto* monthsRow = new QHBoxLayout(alarmGroup);
    QLabel* keep = Label("IDC_PP_SETTINGS_DATABASE_KEEP_ALARMS_IN");
    keep->setBuddy(months);
    monthsRow->addWidget(keep);
    monthsRow->addWidget(months);
    monthsRow->addWidget(Label("IDC_PP_SETTINGS_DATABASE_MONTHS"));
    monthsRow->addStretch(1);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(pathGroup);
    layout->addWidget(alarmGroup);
    layout->addStretch(1);

    setTabOrder(path, browseButton);
    setTabOrder(browseButton, months);

    connect(browseButton, &QPushButton::clicked, this, [this] { OnBrowse(); });
}

void CSettingsDatabase::Translate()
{
    CSettingsPage::Translate();
    pathGroup->setTitle(orvabox::Text("IDC_PP_SETTINGS_DATABASE_PATH"));
    alarmGroup->setTitle(orvabox::Text("IDC_PP_SETTINGS_DATABASE_ALARM_INFORMATION"));
    browseButton->setText(orvabox::Text("IDC_PP_SETTINGS_DATABASE_BROWSE_DB_PATH"));
}

void CSettingsDatabase::Load(const SettingsValues& values)
{
    path->setText(Q(values.DatabasePath));
    SetNumber(months, values.KeepAirMonths);
    baseline = values.KeepAirMonths;
}

void CSettingsDatabase::Store(SettingsValues& values) const
{
    values.DatabasePath = S(path->text());
    values.KeepAirMonths = static_cast<int32_t>(Number(months));
}

void CSettingsDatabase::OnSetActive()
{
    baseline = Number(months);
}

void CSettingsDatabase::OnBrowse()
{
    std::string folder = S(path->text());
    if (!browse || !browse(folder))
        return;
    path->setText(Q(CSettings::WithTrailingSeparator(folder)));
    Tell(orvabox::Text("IDS_SETTINGSDATABASE_MSG_1"), QMessageBox::Warning);
}

bool CSettingsDatabase::OnKillActive()
{
    if (!CheckRange(months, kMinMonths, kMaxMonths))
        return false;
    const long long value = Number(months);
    // Fewer months delete the older records at the next purge; many months
    // slow the database. Both are asked when both apply (30 down to 20).
    if (value < baseline && !Confirm(orvabox::Text("IDS_SETTINGSDATABASE_MSG_2"))) {
        months->setFocus();
        months->selectAll();
        return false;
    }
    if (value != baseline && value > kManyMonths && !Confirm(orvabox::Text("IDS_SETTINGSDATABASE_MSG_4"))) {
        months->setFocus();
        months->selectAll();
        return false;
    }
    return true;
}
