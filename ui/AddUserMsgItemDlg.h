#pragma once
// Asks for the code of a new user message: a letter "a" to "z" or "A" to
// "Z" and three digits making 0 to 255. OK with a code of another form
// explains the valid codes and leaves the dialog open.

#include <QDialog>
#include <QString>

#include <string>

class QLabel;
class QLineEdit;
class QPushButton;

class CAddUserMsgItemDlg : public QDialog {
public:
    static constexpr int kCodeChars = 4;

    explicit CAddUserMsgItemDlg(QWidget* parent = nullptr);

    // Exactly four characters: a letter of the code alphabet, then three
    // decimal digits with a value of at most 255.
    static bool IsValidCode(const QString& code);

    // The code as typed; after OK, a valid one ("%c%03d").
    std::string GetCode() const;

    // OK: accepts a valid code; otherwise the message, focus on the field.
    void OnOk();

    QLineEdit* CodeField() const { return code; }

private:
    void Translate();

    QLabel* codeLabel = nullptr;
    QLineEdit* code = nullptr;
};
