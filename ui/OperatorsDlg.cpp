#include "ui/OperatorsDlg.h"

#include "ui/MessageBox.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

COperatorsDlg::COperatorsDlg(const std::array<std::string, kOperatorCount>& names, QWidget* parent) : QDialog(parent)
{
    setWindowTitle(orvabox::Text("IDD_OPERATORS_CAPTION"));

    auto* form = new QFormLayout;
    for (int slot = 0; slot < kOperatorCount; ++slot) {
        auto* field = new QLineEdit(this);
        // QLineEdit counts UTF-16 units, so 30 never lets more than 30
        // characters through.
        field->setMaxLength(kMaxNameLength);
        field->setText(QString::fromStdString(names[static_cast<size_t>(slot)]));
        field->setMinimumWidth(field->fontMetrics().averageCharWidth() * kMaxNameLength);
        // The labels are slot numbers, the same in every language.
        form->addRow(QString::number(slot + 1) + QLatin1Char(':'), field);
        fields[static_cast<size_t>(slot)] = field;
    }

    QDialogButtonBox* buttons = orvabox::AddOkCancel(this).box;

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
}

std::array<std::string, kOperatorCount> COperatorsDlg::GetNames() const
{
    std::array<std::string, kOperatorCount> names;
    for (size_t slot = 0; slot < names.size(); ++slot) {
        // A name of blanks only would be an invisible entry in the selection
        // list that could be put on duty; trimmed, it is an empty slot.
        names[slot] = fields[slot]->text().trimmed().toStdString();
    }
    return names;
}

void COperatorsDlg::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    raise();
    activateWindow();
}
