#pragma once
// The Language page: its own button switches the dictionary to the chosen
// language and stores it at once, whether the sheet then closes with OK or
// Cancel. Windows already open keep their texts; the next start uses it.

#include "ui/SettingsPage.h"

#include <functional>
#include <string>

class CDictionary;
class QComboBox;
class QGroupBox;
class QPushButton;

class CSettingsLang : public CSettingsPage {
public:
    static constexpr int kVisibleLanguages = 5;

    // storeLanguage writes the "Language" value (raises on failure); an
    // empty function writes it to the settings store.
    CSettingsLang(CDictionary& dictionary, std::function<void(const std::string&)> storeLanguage,
                  QWidget* parent = nullptr);

    // The language is no value of the sheet: it is stored by the button.
    void Load(const SettingsValues&) override {}
    void Store(SettingsValues&) const override {}

    // The page's button.
    void OnApply();

    QComboBox* LanguageList() const { return list; }
    QPushButton* ApplyButton() const { return apply; }

protected:
    void OnSetActive() override;
    void Translate() override;

private:
    CDictionary& dictionary;
    std::function<void(const std::string&)> storeLanguage;

    QGroupBox* group = nullptr;
    QComboBox* list = nullptr;
    QPushButton* apply = nullptr;
};
