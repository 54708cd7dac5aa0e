#include "ui/MessageBox.h"

#include "core/TextLookup.h"
#include "core/Version.h"

#include <QAbstractButton>
#include <QDialog>
#include <QDialogButtonBox>
#include <QPushButton>

namespace orvabox {

QString Text(const std::string& key)
{
    return QString::fromStdString(LookupText(key));
}

QString Caption()
{
    return QString::fromLatin1(kProductName);
}

void RelabelButtons(QMessageBox& box)
{
    static const struct {
        QMessageBox::StandardButton button;
        const char* key;
    } labels[] = {
        {QMessageBox::Ok, "IDS_IDOK"},         {QMessageBox::Cancel, "IDS_IDCANCEL"},
        {QMessageBox::Yes, "IDS_IDYES"},       {QMessageBox::No, "IDS_IDNO"},
        {QMessageBox::Abort, "IDS_IDABORT"},   {QMessageBox::Retry, "IDS_IDRETRY"},
        {QMessageBox::Ignore, "IDS_IDIGNORE"},
    };
    for (const auto& label : labels) {
        if (QAbstractButton* button = box.button(label.button))
            button->setText(Text(label.key));
    }
}

namespace {

QMessageBox::StandardButton RunBox(QWidget* parent, const std::string& text, QMessageBox::Icon icon,
                                   QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton,
                                   Qt::WindowModality modality)
{
    QMessageBox box(icon, Caption(), QString::fromStdString(text), buttons, parent);
    box.setDefaultButton(defaultButton);
    RelabelButtons(box);
    box.setWindowModality(modality);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

}  // namespace

QMessageBox::StandardButton Ask(QWidget* parent, const std::string& text, QMessageBox::Icon icon,
                                QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton)
{
    return RunBox(parent, text, icon, buttons, defaultButton, Qt::ApplicationModal);
}

QMessageBox::StandardButton AskInWindow(QWidget* parent, const std::string& text, QMessageBox::Icon icon,
                                        QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton)
{
    // Without a parent a window-modal box would block nothing.
    return RunBox(parent, text, icon, buttons, defaultButton,
                  parent != nullptr ? Qt::WindowModal : Qt::ApplicationModal);
}

int ExecInWindow(QDialog& dialog)
{
    if (dialog.parentWidget() != nullptr)
        dialog.setWindowModality(Qt::WindowModal);
    return dialog.exec();
}

OkCancel AddOkCancel(QDialog* dialog, std::function<void()> onOk)
{
    auto* buttons = new QDialogButtonBox(dialog);
    QPushButton* ok = buttons->addButton(Text("IDS_IDOK"), QDialogButtonBox::AcceptRole);
    QPushButton* cancel = buttons->addButton(Text("IDS_IDCANCEL"), QDialogButtonBox::RejectRole);
    ok->setDefault(true);
    if (onOk)
        QObject::connect(ok, &QPushButton::clicked, dialog, std::move(onOk));
    else
        QObject::connect(ok, &QPushButton::clicked, dialog, &QDialog::accept);
    QObject::connect(cancel, &QPushButton::clicked, dialog, &QDialog::reject);
    return {buttons, ok, cancel};
}

}  // namespace orvabox
