#include "ui/AddUserMsgItemDlg.h"

#include "core/TextLookup.h"
#include "ui/MessageBox.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

CAddUserMsgItemDlg::CAddUserMsgItemDlg(QWidget* parent) : QDialog(parent)
{
    codeLabel = new QLabel(this);
    codeLabel->setObjectName("IDC_EDIT_USER_MSG_CODE1");
    code = new QLineEdit(this);
    code->setObjectName("Code");
    code->setMaxLength(kCodeChars);
    // Room for four of the widest characters a code has.
    code->setMinimumWidth(code->fontMetrics().horizontalAdvance(QStringLiteral("W000")) * 2);
    codeLabel->setBuddy(code);

    auto* row = new QHBoxLayout;
    row->addWidget(codeLabel);
    row->addWidget(code, 1);

    const orvabox::OkCancel buttons = orvabox::AddOkCancel(this, [this] { OnOk(); });
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addWidget(buttons.box);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    Translate();
    code->setFocus();
}

void CAddUserMsgItemDlg::Translate()
{
    setWindowTitle(orvabox::Text("IDC_ADD_USERMSG_ITEM_CAPTION"));
    codeLabel->setText(orvabox::Text("IDC_EDIT_USER_MSG_CODE1"));
}

bool CAddUserMsgItemDlg::IsValidCode(const QString& text)
{
    if (text.size() != kCodeChars)
        return false;
    const QChar letter = text.at(0);
    if (!((letter >= u'a' && letter <= u'z') || (letter >= u'A' && letter <= u'Z')))
        return false;
    int number = 0;
    for (int i = 1; i < kCodeChars; ++i) {
        const QChar digit = text.at(i);
        if (digit < u'0' || digit > u'9')
            return false;
        number = number * 10 + (digit.unicode() - u'0');
    }
    return number <= 255;
}

std::string CAddUserMsgItemDlg::GetCode() const
{
    return code->text().toStdString();
}

void CAddUserMsgItemDlg::OnOk()
{
    if (IsValidCode(code->text())) {
        accept();
        return;
    }
    QPointer<CAddUserMsgItemDlg> self(this);
    orvabox::AskInWindow(this, LookupText("IDS_ADDUSERMSGITEMDLG_MSG_1"), QMessageBox::Warning, QMessageBox::Ok,
                         QMessageBox::Ok);
    if (self) {
        code->setFocus();
        code->selectAll();
    }
}
