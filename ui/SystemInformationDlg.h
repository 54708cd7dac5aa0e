#pragma once
// The system information panel: the technical events the managers report
// (modem, link, mail, SMS, PIN), newest first, each with its time, and the
// same lines in SystemInfo.log so the history outlives the program. A line
// that needs attention brings the panel to the front with a beep.
//
// Modeless and long-lived: created hidden with the document, shown on
// command; Close and the close box only hide it.

#include "core/LogFile.h"

#include <QDateTime>
#include <QDialog>
#include <QString>

#include <memory>
#include <string>

class CMessagePanel;
class QPushButton;
class QTreeWidget;

class CSystemInformationDlg : public QDialog {
public:
    static constexpr int kMaxRows = 200;
    static constexpr int16_t kLogLines = 1000;

    // writeLog false: no SystemInfo.log (for screens inside tests).
    explicit CSystemInformationDlg(QWidget* parent = nullptr, bool writeLog = true);
    ~CSystemInformationDlg() override;  // writes the shutdown line

    // Adds a line at the top; popUp shows the panel, raises it and beeps.
    void AddSystemInfo(const std::string& text, bool popUp);
    // Shows the panel and brings it to the front.
    void ShowPanel();
    // "&Delete": the selected row, or a beep when none is selected.
    void OnDelete();
    // "C&lear": a beep on an empty list; otherwise asks before deleting
    // every row. The log file keeps its lines.
    void OnClear();

    QTreeWidget* List() { return list; }
    CMessagePanel* Header() { return header; }
    QPushButton* DeleteButton() { return deleteButton; }
    QPushButton* ClearButton() { return clearButton; }
    QPushButton* CloseButton() { return closeButton; }
    int BeepCount() const { return beeps; }

    // "yy-mm-dd  hh:mm:ss", two blanks between date and time.
    static QString FormatTime(const QDateTime& time);

private:
    void Beep();
    void WidenForText(const QString& text);

    std::unique_ptr<CLogFile> log;
    CMessagePanel* header = nullptr;
    QTreeWidget* list = nullptr;
    QPushButton* deleteButton = nullptr;
    QPushButton* clearButton = nullptr;
    QPushButton* closeButton = nullptr;
    int beeps = 0;
};
