#pragma once
// The user message editor (CEditUserMsgDlg): a modal dialog in which the
// operator keeps the station's own user message file, UserMsg99.txt in the
// current directory. The file is read when the dialog opens and written only
// by Save or by Yes to the close question; the message manager reads it for
// every coded alarm, so a saved text applies to the next alarm.
//
// The list shows the codes; each row keeps its message text, which the
// message field shows while that row is the current one.

#include "ui/UserMsgFile.h"

#include <QDialog>
#include <QString>

#include <functional>
#include <string>
#include <vector>

class CAddUserMsgItemDlg;
class QGroupBox;
class QPlainTextEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

class CEditUserMsgDlg : public QDialog {
public:
    // A message text holds at most this many characters (code points; a
    // line break counts as one), as an alarm text does. A longer text read
    // from the file is kept and may be shortened, not lengthened.
    static constexpr int kMaxTextChars = 255;

    // Reads the file (path: the station's own file unless a test names
    // another). A file that does not exist is created empty at once.
    explicit CEditUserMsgDlg(QWidget* parent = nullptr, std::string path = usermsgfile::kFileName);
    ~CEditUserMsgDlg() override;

    // How the dialog beeps (tests count the beeps).
    void SetBeep(std::function<void()> beep);
    // Runs the code dialog of New; tests replace it to answer without a
    // modal loop (returns true for OK).
    using AddItemRunner = std::function<bool(CAddUserMsgItemDlg& dialog)>;
    void SetAddItemRunner(AddItemRunner runner) { runAddItem = std::move(runner); }

    // The buttons, as the operator presses them.
    void OnNew();
    void OnDelete();
    // True when the file was written.
    bool OnSave();
    // Close, the close box and Escape: asks "Save Changes?" when something
    // changed. True when the dialog closed.
    bool OnClose();
    void reject() override;

    // For the tests: the rows in list order with their texts (the current
    // row with the text the field shows), and the unsaved-changes flag.
    std::vector<usermsgfile::Entry> Entries() const;
    bool IsChanged() const { return changed; }
    QTreeWidget* EntryList() const { return list; }
    QPlainTextEdit* MessageField() const { return message; }
    // Selects the row of the code as a click would (empty or unknown: none).
    void ClickCode(const std::string& code);

private:
    void Translate();
    void FitCodeColumn();
    void AddRow(const usermsgfile::Entry& entry);
    QTreeWidgetItem* FindCode(const std::string& code) const;
    // The list's selection changed, by a click or a key.
    void OnSelectionChanged();
    void FocusText();
    // Shows a text in the field as the program's own change (not an edit).
    void ShowText(const QString& text);
    void LimitText();
    void StoreCurrentText();
    void ShowNoRow();
    void Select(QTreeWidgetItem* row);
    bool WriteFile();
    void Beep();

    std::string path;
    std::function<void()> beep;
    AddItemRunner runAddItem;

    QTreeWidgetItem* current = nullptr;
    bool changed = false;
    // Set while the program itself changes the selection.
    bool selecting = false;
    // The field's text before the last edit, to take back what an edit adds
    // beyond the limit.
    QString acceptedText;
    bool limiting = false;

    QGroupBox* codeGroup = nullptr;
    QTreeWidget* list = nullptr;
    QGroupBox* messageGroup = nullptr;
    QPlainTextEdit* message = nullptr;
    QPushButton* newButton = nullptr;
    QPushButton* deleteButton = nullptr;
    QPushButton* saveButton = nullptr;
    QPushButton* closeButton = nullptr;
};
