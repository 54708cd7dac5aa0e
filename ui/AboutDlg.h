#pragma once
// The about box: product, version and copyright, in the operator's language.
// Modal, opened by the About command; OK closes it.

#include <QDialog>

class QLabel;
class QPushButton;

class CAboutDlg : public QDialog {
public:
    explicit CAboutDlg(QWidget* parent = nullptr);

    QLabel* ProductLabel() const { return product; }
    QLabel* VersionLabel() const { return version; }
    QLabel* CopyrightLabel() const { return copyright; }
    QPushButton* OkButton() const { return ok; }

private:
    void Translate();

    QLabel* icon = nullptr;
    QLabel* product = nullptr;
    QLabel* version = nullptr;
    QLabel* copyright = nullptr;
    QPushButton* ok = nullptr;
};
