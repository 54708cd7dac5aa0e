#include "ui/SettingsPageLang.h"

#include "dictionary/Dictionary.h"
#include "settings/RegistryValueStr.h"
#include "ui/MessageBox.h"

#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <exception>

CSettingsLang::CSettingsLang(CDictionary& dict, std::function<void(const std::string&)> store, QWidget* parent)
    : CSettingsPage("IDC_PP_SETTINGS_LANG_CAPTION", parent), dictionary(dict), storeLanguage(std::move(store))
{
    if (!storeLanguage) {
        storeLanguage = [](const std::string& language) {
            RegistryValueStr(RegistryRoot::CurrentUser, kSettingsKey, "Language").SetString(language);
        };
    }

    group = new QGroupBox(this);
    group->setObjectName(QStringLiteral("IDC_PP_SETTINGS_LANG_SELECT_LANGUAGE"));
    list = new QComboBox(this);
    list->setObjectName(QStringLiteral("Language"));
    list->setMaxVisibleItems(kVisibleLanguages);
    list->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    apply = new QPushButton(this);
    apply->setObjectName(QStringLiteral("IDS_IDOK"));
    // Return in the list is the sheet's OK; the language needs this button.
    apply->setAutoDefault(false);

    QLabel* prompt = Label("IDC_PP_SETTINGS_LANG_SELECT_YOUR_PREFERED");
    prompt->setBuddy(list);
    auto* row = new QHBoxLayout;
    row->addWidget(list);
    row->addWidget(apply);
    row->addStretch(1);
    auto* groupLayout = new QVBoxLayout(group);
    groupLayout->addWidget(prompt);
    groupLayout->addLayout(row);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addStretch(1);

    setTabOrder(list, apply);
    connect(apply, &QPushButton::clicked, this, [this] { OnApply(); });
}

void CSettingsLang::Translate()
{
    CSettingsPage::Translate();
    group->setTitle(orvabox::Text("IDC_PP_SETTINGS_LANG_SELECT_LANGUAGE"));
    apply->setText(orvabox::Text("IDS_IDOK"));
}

void CSettingsLang::OnSetActive()
{
    list->clear();
    for (const std::string& language : dictionary.GetLanguages())
        list->addItem(Q(language));
    if (list->count() == 0)
        return;
    list->setCurrentIndex(0);
    const int current = list->findText(Q(dictionary.GetLanguage()), Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (current >= 0)
        list->setCurrentIndex(current);
}

void CSettingsLang::OnApply()
{
    if (list->count() == 0 || list->currentIndex() < 0)
        return;
    const std::string chosen = S(list->currentText());
    const std::string previous = dictionary.GetLanguage();
    if (!dictionary.SetLanguage(chosen)) {
        Tell(orvabox::Text("IDS_SETTINGS_TAB_LANGUAGE_MSG_1"), QMessageBox::NoIcon);
        return;
    }
    try {
        storeLanguage(chosen);
    } catch (const std::exception&) {
        // Not stored: the next start would come up in the old language, so
        // this run keeps it too rather than claim a change that is not kept.
        dictionary.SetLanguage(previous);
        Tell(orvabox::Text("IDS_SETTINGS_TAB_LANGUAGE_MSG_1"), QMessageBox::NoIcon);
        return;
    }
    Tell(orvabox::Text("IDS_SETTINGS_TAB_LANGUAGE_MSG_2"), QMessageBox::NoIcon);
}
