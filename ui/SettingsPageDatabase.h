#pragma once
// The Database page: the database folder (chosen with the folder picker,
// used from the next start) and the months alarm records are kept.

#include "ui/SettingsPage.h"

#include <functional>
#include <string>

class QGroupBox;
class QPushButton;

class CSettingsDatabase : public CSettingsPage {
public:
    static constexpr int kMinMonths = 1;
    static constexpr int kMaxMonths = 36;
    // More months than this may slow the database down.
    static constexpr int kManyMonths = 12;

    // browse: the folder picker; given the current folder, true with the
    // chosen one in it.
    explicit CSettingsDatabase(std::function<bool(std::string& folder)> browse, QWidget* parent = nullptr);

    void Load(const SettingsValues& values) override;
    void Store(SettingsValues& values) const override;
    bool OnKillActive() override;

    // "Browse": the folder picker, then the note that the new folder is used
    // from the next start.
    void OnBrowse();

    QPushButton* BrowseButton() const { return browseButton; }
    // The months shown when the page last became the current tab.
    long long Baseline() const { return baseline; }

protected:
    void OnSetActive() override;
    void Translate() override;

private:
    std::function<bool(std::string&)> browse;
    long long baseline = 0;

    QGroupBox* pathGroup = nullptr;
    QGroupBox* alarmGroup = nullptr;
    QLineEdit* path = nullptr;
    QPushButton* browseButton = nullptr;
    QLineEdit* months = nullptr;
};
