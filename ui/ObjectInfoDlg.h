#pragma once
// The object information window: shows one object of the register (a lift)
// and adds, saves, copies and deletes objects. It lives for the whole run
// and is shown and hidden. Its requests go to the database; the answers
// (document message type 29, and 32 to 34 for the customer and recipient
// dialogs it opens) are handed to it through OnReply.

#include "core/Msg.h"
#include "ui/DbRequestSink.h"

#include <QDialog>

#include <functional>
#include <memory>
#include <string>

class CObjectInfoDlg : public QDialog {
public:
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

    // How the window beeps (tests count the beeps).
    void SetBeep(std::function<void()> beep);
};
