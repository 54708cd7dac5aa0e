#pragma once
// The object export window (CExportObjectInfoDlg): the operator ticks the
// fields to export, chooses all records or the last ones and the separator,
// and presses Next; the window asks the database for all objects and the
// answer (document message type 30) fills the output window, where the
// lines are written to a file. Modeless and long-lived: created hidden with
// the document, shown by the menu command, hidden by Cancel.

#include "core/Msg.h"
#include "ui/DbRequestSink.h"
#include "ui/ExportObjectInfoLine.h"

#include <QDialog>

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

class CExportOutputDlg;
class CObjectInfoMsg;
class QGroupBox;
class QLabel;
class QListWidget;
class QPushButton;
class QRadioButton;
class QSpinBox;

class CExportObjectInfoDlg : public QDialog {
public:
    enum RecordChoice { kAll = 0, kLast = 1 };
    enum SeparatorChoice { kSemicolon = 0, kComma = 1 };
    static constexpr int kMaxCount = 2147483647;

    explicit CExportObjectInfoDlg(DbRequestSink requests, QWidget* parent = nullptr);
    ~CExportObjectInfoDlg() override;

    // The menu command: shows the window in front.
    void ShowWindow();
    // A database answer of type 30; the window takes it and handles it once
    // the document's dispatch has returned (a message box it opens then
    // holds back no alarm).
    void OnReply(std::unique_ptr<CMsg> reply);
    // The handling itself: the records are turned into the output lines.
    void OnExportReply(std::unique_ptr<CMsg> reply);

    // The buttons and choices, as the operator uses them.
    void OnSetDefault();
    void OnSetAll();
    void OnClearAll();
    void SetRecordChoice(RecordChoice choice);
    void SetCount(int count);
    void SetSeparatorChoice(SeparatorChoice choice);
    void SetField(int field, bool ticked);
    void OnNext();
    void OnCancel();
    void reject() override;

    exportline::FieldSet Fields() const;
    char Separator() const;
    CExportOutputDlg* OutputWindow() const { return output; }
    QListWidget* FieldList() const { return fieldList; }
    QSpinBox* CountField() const { return count; }

private:
    void Translate();

    DbRequestSink requests;
    // Records of the last answer not yet turned into lines, newest first.
    std::vector<std::unique_ptr<CObjectInfoMsg>> records;

    QGroupBox* fieldsGroup = nullptr;
    QListWidget* fieldList = nullptr;
    QPushButton* setDefaultButton = nullptr;
    QPushButton* setAllButton = nullptr;
    QPushButton* clearAllButton = nullptr;
    QGroupBox* recordsGroup = nullptr;
    QRadioButton* allRecords = nullptr;
    QRadioButton* lastRecords = nullptr;
    QSpinBox* count = nullptr;
    QLabel* recordLabel = nullptr;
    QGroupBox* separatorGroup = nullptr;
    QRadioButton* semicolon = nullptr;
    QRadioButton* comma = nullptr;
    QPushButton* nextButton = nullptr;
    QPushButton* cancelButton = nullptr;
    CExportOutputDlg* output = nullptr;
};
