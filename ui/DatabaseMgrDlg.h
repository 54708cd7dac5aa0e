#pragma once
// The database manager dialog: shown at start-up when the database cannot be
// opened. It tells the operator why, offers the actions that fit the reason
// (change the path, create a new empty database, create one and copy an
// older installation's data) and runs the creation through the converter,
// whose progress lines it shows newest first. The database manager acts on
// the result of Run().

#include "db/DbProgressList.h"

#include <QDialog>

#include <string>

class CDbConvert;
class QListWidget;
class QPushButton;
class QRadioButton;

class CDatabaseMgrDlg : public QDialog, public CDbProgressList {
public:
    // reason: DBMGRDLG_REASON_*; folder: the database folder shown to the
    // operator; converter: creates (and copies) for reasons 2 and 4, may be
    // null otherwise. The dialog does not own it.
    CDatabaseMgrDlg(int reason, const std::string& folder, CDbConvert* converter, QWidget* parent = nullptr);

    // Beeps, runs the dialog modally and returns DBMGRDLG_CHANGE_PATH,
    // DBMGRDLG_START, DBMGRDLG_END, or DBMGRDLG_CANCEL after Cancel.
    int Run();
    // OK: ends with "change path", runs the chosen creation (the dialog stays
    // open with its outcome), or ends after a creation with "start" or "end".
    void OnOk();
    // Newest line on top.
    void AddProgressLine(const std::string& text) override;

    // DBMGRDLG_* that OK has decided; DBMGRDLG_CANCEL until then.
    int Result() const { return dialogResult; }
    QListWidget* MessageList() const { return messages; }
    QListWidget* ProgressList() const { return progress; }
    QRadioButton* ChangePathChoice() const { return changePath; }
    QRadioButton* NewEmptyChoice() const { return newEmpty; }
    QRadioButton* NewCopyChoice() const { return newCopy; }
    QPushButton* OkButton() const { return ok; }
    int BeepCount() const { return beeps; }

private:
    enum class Stage { Choosing, Created, Failed };

    void SetUpReason(const std::string& folder);
    void CreateDatabase(bool copy);
    void Beep();

    int reason;
    CDbConvert* converter;
    Stage stage = Stage::Choosing;
    int dialogResult;
    int beeps = 0;
    QListWidget* messages = nullptr;
    QListWidget* progress = nullptr;
    QRadioButton* changePath = nullptr;
    QRadioButton* newEmpty = nullptr;
    QRadioButton* newCopy = nullptr;
    QPushButton* ok = nullptr;
    QPushButton* cancel = nullptr;
};
