#pragma once
// The object information window: shows one object of the register (a lift)
// and adds, saves, copies and deletes objects. It lives for the whole run
// and is shown and hidden. Its requests go to the database; the answers
// (document message type 29, and 32 to 34 for the customer and recipient
// dialogs it opens) are handed to it through OnReply.

#include "core/Msg.h"
#include "ui/DbRequestSink.h"

#include <QDialog>
#include <QMessageBox>
#include <QPointer>
#include <QString>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

class CCustomerInfoDlg;
class CMailSmsNumInfoDlg;
class CObjectInfoMsg;
class COpenObjectInfoDlg;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;

class CObjectInfoDlg : public QDialog {
public:
    // Limits of the fields, in characters.
    static constexpr int kIdCodeChars = 20;
    static constexpr int kPhoneNumberChars = 20;
    static constexpr int kTextChars = 255;
    static constexpr int kLongTextChars = 510;
    static constexpr int kMaxDays = 99;

    explicit CObjectInfoDlg(DbRequestSink requests, QWidget* parent = nullptr);
    ~CObjectInfoDlg() override;

    // New (ID_FILE_NEW with an empty ID code; Add Object Info of an alarm
    // with the alarm's): beeps and comes to the front when already shown.
    void OpenNewObject(const std::string& idCode);
    // Edit Object Info of an alarm: asks for the object by phone number or ID code.
    void FindObject(const std::string& key, bool byPhoneNumber);
    // ID_FILE_OPEN: asks for all objects; the open list shows them.
    void OpenFromList();
    // ID_FILE_SAVE: saves the shown object, or beeps when the window is hidden.
    void SaveCommand();

    // An answer of type 29 (objects) or 32, 33, 34 (for the customer or
    // recipient dialog open from this window); the window takes it.
    void OnReply(std::unique_ptr<CMsg> reply);
    // The same, handled once the document's dispatch has returned (as the
    // export and print windows take theirs): an answer told with a message
    // box then never holds back the alarms that arrive meanwhile.
    void PostReply(std::unique_ptr<CMsg> reply);

    // How the window beeps (tests count the beeps).
    void SetBeep(std::function<void()> beep);

    // The buttons of the window.
    void OnNew();
    void OnAdd();
    void OnSave();
    void OnCopyObject();
    void OnDelete();
    // The close routine: the Close button, the close box and Escape. True
    // when the window closed.
    bool OnClose();
    void reject() override;

    // For the tests and the screen.
    bool IsEditMode() const { return editMode; }
    // Whether any field differs from what was last loaded, cleared or saved.
    bool IsChanged() const;
    // The open list while one exists.
    COpenObjectInfoDlg* OpenList() const;
    const std::string& CurrentIdCode() const { return currentIdCode; }

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Every value the window shows, as the record holds it.
    struct Fields {
        std::string idCode;
        std::string phoneNumber;
        std::string idInfo;
        std::string address;
        int days = 0;
        bool testAlarmOnly = false;
        bool alarmPopUp = true;
        std::string mailTech;
        std::string smsTech;
        std::string mailEmg;
        std::string smsEmg;
        std::string notes;
        std::string elevatorType;
        std::string customer;
        std::string customerInfo;
        bool operator==(const Fields&) const = default;
    };

    void BuildControls();
    void Translate();
    void ApplyMode();
    Fields ReadFields() const;
    void WriteFields(const Fields& fields);
    void Clear(const std::string& idCode);
    void Load(const CObjectInfoMsg& record);
    bool Validate();
    bool SaveRoutine();
    // Unsaved changes may be dropped only after the operator said so (the
    // close question); true when the window may go on.
    bool AskToKeepChanges();
    void OnCustomerButton();
    void OnRecipientButton(QLineEdit* field, bool sms);
    void OnObjectReply(std::unique_ptr<CMsg> reply);
    void ShowList(std::unique_ptr<CObjectInfoMsg> records);
    void RequestAllObjects();
    void SendFind(int32_t kind, const std::string& key);
    // A message box with the window as parent; then the window in front.
    void Tell(const QString& text, QMessageBox::Icon icon);
    void Warn(const QString& text, QWidget* focus, bool selectAll);
    void ShowInFront();
    void SetToolTipKey(QWidget* widget, const char* key);
    void Beep();

    DbRequestSink requests;
    std::function<void()> beep;

    // Controls.
    QGroupBox* objectGroup = nullptr;
    QGroupBox* technicalGroup = nullptr;
    QGroupBox* emergencyGroup = nullptr;
    QGroupBox* customerGroup = nullptr;
    std::map<QLabel*, const char*> labels;
    QLineEdit* idCode = nullptr;
    QLineEdit* phoneNumber = nullptr;
    QLineEdit* idInfo = nullptr;
    QLineEdit* address = nullptr;
    QSpinBox* days = nullptr;
    QCheckBox* testAlarmOnly = nullptr;
    QCheckBox* alarmPopUp = nullptr;
    QLineEdit* mailTech = nullptr;
    QLineEdit* smsTech = nullptr;
    QLineEdit* mailEmg = nullptr;
    QLineEdit* smsEmg = nullptr;
    QPlainTextEdit* notes = nullptr;
    QLineEdit* elevatorType = nullptr;
    QLineEdit* customer = nullptr;
    QPlainTextEdit* customerInfo = nullptr;
    QPushButton* mailTechButton = nullptr;
    QPushButton* smsTechButton = nullptr;
    QPushButton* mailEmgButton = nullptr;
    QPushButton* smsEmgButton = nullptr;
    QPushButton* customerButton = nullptr;
    QPushButton* newButton = nullptr;
    QPushButton* addButton = nullptr;
    QPushButton* saveButton = nullptr;
    QPushButton* copyButton = nullptr;
    QPushButton* deleteButton = nullptr;
    QPushButton* closeButton = nullptr;
    // Tooltip keys by control; the text is looked up when the tip shows.
    std::map<const QObject*, const char*> toolTipKeys;

    // State.
    bool editMode = false;
    Fields snapshot;
    // The snapshot before the last save was sent: a save the database refuses
    // leaves the window changed again, so its contents are not dropped
    // silently on close.
    Fields beforeSave;
    std::string currentIdCode;
    bool openedFromList = false;
    QPointer<COpenObjectInfoDlg> openList;
    QPointer<CCustomerInfoDlg> customerDlg;
    QPointer<CMailSmsNumInfoDlg> recipientDlg;
};
