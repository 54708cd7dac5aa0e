#pragma once
// The operator selection: picks the operator on duty from the stored names.
// At start-up (mode 1) with a remembered last operator it counts down ten
// seconds and then takes the preselected name as if OK were pressed, so an
// unattended restart brings the station back on line by itself. Opening the
// drop-down or the list editor stops the countdown for good.

#include <QDialog>
#include <QString>
#include <QTimer>

#include <string>

class CSettings;
class QComboBox;
class QLineEdit;
class QPushButton;

class CSelectOperatorDlg : public QDialog {
public:
    static constexpr int kCountdownSeconds = 10;

    // mode 1: start-up (countdown allowed); 0: change of operator.
    CSelectOperatorDlg(CSettings& settings, int mode, QWidget* parent = nullptr);

    // Empty until the dialog closed with OK.
    std::string GetChosenName() const { return chosenName; }

    // One second of the countdown; the timer calls it, tests call it directly.
    void OnCountdownTick();
    // Stops the countdown (drop-down opened) and clears its text.
    void OnDropDown();
    // Stops the countdown and opens the list editor; after its OK the names
    // are stored and the list is filled again.
    void OnAddEdit();
    // OK: without a selection a beep, otherwise the chosen name becomes the
    // last operator and the dialog closes.
    void OnOk();

    bool CountdownRunning() const { return countdownRunning; }
    QString CountdownText() const;
    QComboBox* NameList() const { return names; }
    QPushButton* AddEditButton() const { return addEdit; }
    QPushButton* OkButton() const { return ok; }
    QPushButton* CancelButton() const { return cancel; }
    int BeepCount() const { return beeps; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FillList();
    void StopCountdown();
    void ShowCountdown();
    void Beep();

    CSettings& settings;
    int mode;
    std::string chosenName;
    int secondsLeft = kCountdownSeconds;
    bool countdownRunning = false;
    int beeps = 0;
    QTimer countdownTimer;
    QComboBox* names = nullptr;
    QLineEdit* countdown = nullptr;
    QPushButton* addEdit = nullptr;
    QPushButton* ok = nullptr;
    QPushButton* cancel = nullptr;
};
