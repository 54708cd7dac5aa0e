#pragma once
// The settings sheet: a modal tabbed dialog of five pages on a copy of the
// settings. OK checks the current page and, when it passes, writes every
// page's fields into the copy; Cancel leaves the copy as it was. Only the
// Language page's own button and a test mail act at once.

#include "core/SettingsValues.h"
#include "tel/SerialPort.h"

#include <QDialog>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class CDictionary;
class CSettingsAlarms;
class CSettingsComm;
class CSettingsDatabase;
class CSettingsEmail;
class CSettingsLang;
class CSettingsPage;
class QPushButton;
class QStackedWidget;
class QTabBar;

// What the sheet needs from the station.
struct SettingsSheetServices {
    // The mail manager's test mail: server, port, HELO name, sender, recipient.
    std::function<void(const std::string& server, uint16_t port, const std::string& heloName, const std::string& sender,
                       const std::string& recipient)>
        sendTestMail;
    // The folder picker: given the current folder, true with the chosen one.
    std::function<bool(std::string& folder)> browseDatabasePath;
    // The serial ports present now; empty: the ports of this machine.
    std::function<std::vector<ComPortEntry>()> listPorts;
    // The dictionary whose language the Language page switches; null: the
    // process's dictionary.
    CDictionary* dictionary = nullptr;
    // Stores the "Language" value (raises on failure); empty: the settings
    // store.
    std::function<void(const std::string& language)> storeLanguage;
};

class CPropertySheetLang : public QDialog {
public:
    enum Tab { kComm, kEmail, kAlarms, kDatabase, kLang, kTabCount };

    // values: the copy the sheet edits; it is written only by OK.
    CPropertySheetLang(SettingsValues& values, SettingsSheetServices services, QWidget* parent = nullptr);
    ~CPropertySheetLang() override;

    // Runs the sheet modally: true after OK, with the edited values in the
    // copy; false after Cancel, with the copy untouched.
    bool Run();

    // Makes the tab current, as a click on it does: the current page's
    // leaving checks run first and may keep it. True when the tab is current.
    bool SelectTab(int tab);
    int CurrentTab() const { return current; }
    // OK as the button does it; true when the sheet closed.
    bool OnOk();

    CSettingsPage* Page(int tab) const { return pages[tab]; }
    CSettingsComm* CommPage() const { return comm; }
    CSettingsEmail* EmailPage() const { return email; }
    CSettingsAlarms* AlarmsPage() const { return alarms; }
    CSettingsDatabase* DatabasePage() const { return database; }
    CSettingsLang* LangPage() const { return lang; }
    QTabBar* Tabs() const { return tabBar; }
    QPushButton* OkButton() const { return ok; }
    QPushButton* CancelButton() const { return cancel; }
    QPushButton* ApplyButton() const { return apply; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void OnTabChanged(int index);

    SettingsValues& values;
    int current = kComm;
    bool opened = false;

    CSettingsComm* comm = nullptr;
    CSettingsEmail* email = nullptr;
    CSettingsAlarms* alarms = nullptr;
    CSettingsDatabase* database = nullptr;
    CSettingsLang* lang = nullptr;
    CSettingsPage* pages[kTabCount] = {};
    QTabBar* tabBar = nullptr;
    QStackedWidget* stack = nullptr;
    QPushButton* ok = nullptr;
    QPushButton* cancel = nullptr;
    QPushButton* apply = nullptr;
};
