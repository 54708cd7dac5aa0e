#pragma once
// Message boxes of the station: the text, an icon and buttons whose labels
// come from the dictionary (IDS_IDOK, IDS_IDCANCEL, IDS_IDYES, IDS_IDNO, ...),
// so every question follows the operator's language.

#include <QMessageBox>
#include <QString>

#include <functional>
#include <string>

class QDialog;
class QDialogButtonBox;
class QPushButton;
class QWidget;

namespace orvabox {

// Runs the box modally; returns the standard button pressed.
QMessageBox::StandardButton Ask(QWidget* parent, const std::string& text, QMessageBox::Icon icon,
                                QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton);
// The same, blocking only the parent's window and the windows it was opened
// from: the register's windows ask this way, so that the main window and the
// alarm dialogs stay usable while a question of theirs waits.
QMessageBox::StandardButton AskInWindow(QWidget* parent, const std::string& text, QMessageBox::Icon icon,
                                        QMessageBox::StandardButtons buttons,
                                        QMessageBox::StandardButton defaultButton);
// Runs a dialog of the register modally to its own window only (as above).
int ExecInWindow(QDialog& dialog);
// Relabels the standard buttons of any box from the dictionary.
void RelabelButtons(QMessageBox& box);
// A dictionary text as a QString.
QString Text(const std::string& key);
// The caption of every message box: the application title.
QString Caption();

// OK (the default button) and Cancel of a dialog, labelled from the
// dictionary. OK runs onOk (accepts the dialog when none is given); Cancel
// rejects it. The caller places the box in its layout.
struct OkCancel {
    QDialogButtonBox* box;
    QPushButton* ok;
    QPushButton* cancel;
};
OkCancel AddOkCancel(QDialog* dialog, std::function<void()> onOk = {});

}  // namespace orvabox
