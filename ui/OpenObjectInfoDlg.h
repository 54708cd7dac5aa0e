#pragma once
// The open list: every object of the register by ID code and ID information.
// The operator finds one by the start of its ID code or ID information and
// opens it in the object window. A new list is made for each answer with all
// objects; Open and Cancel close and delete it.

#include "db/ObjectInfoMsg.h"
#include "ui/DbRequestSink.h"

#include <QDialog>

#include <array>
#include <functional>
#include <memory>
#include <string>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTreeWidget;

class COpenObjectInfoDlg : public QDialog {
public:
    enum Column { kIdCodeColumn = 0, kIdInfoColumn = 1 };

    // onGone runs once when the list closes (Open, Cancel, Escape, the close
    // box), before it is deleted; opened tells whether an object was asked for.
    COpenObjectInfoDlg(DbRequestSink requests, std::function<void(bool opened)> onGone, QWidget* parent = nullptr);
    ~COpenObjectInfoDlg() override;

    // Shows the records (the chain is released here), sorted by ID code, and
    // selects the first one whose ID code starts with currentIdCode.
    void Fill(const std::string& currentIdCode, std::unique_ptr<CObjectInfoMsg> records);

    // Find First and Find Next in the chosen column.
    void OnFindFirst();
    void OnFindNext();
    // Open the selected object; Cancel.
    void OnOpen();
    void reject() override;

    // A click on a column title.
    void SortBy(int column);

    // How the list beeps (tests count the beeps).
    void SetBeep(std::function<void()> function) { beep = std::move(function); }

    QTreeWidget* List() const { return list; }
    int SearchPosition() const { return searchPosition; }

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Translate();
    bool Search(const QString& text, int column, bool quiet);
    void Sort();
    void Finish(bool opened);
    void Beep();

    DbRequestSink requests;
    std::function<void(bool)> onGone;
    std::function<void()> beep;

    QTreeWidget* list = nullptr;
    QGroupBox* findGroup = nullptr;
    QRadioButton* byIdCode = nullptr;
    QRadioButton* byIdInfo = nullptr;
    QLineEdit* searchText = nullptr;
    QPushButton* findFirstButton = nullptr;
    QPushButton* findNextButton = nullptr;
    QPushButton* openButton = nullptr;
    QPushButton* cancelButton = nullptr;
    QLabel* countLabel = nullptr;

    int searchPosition = 0;
    int sortColumn = kIdCodeColumn;
    std::array<bool, 2> ascending{true, true};
    bool finished = false;
};
