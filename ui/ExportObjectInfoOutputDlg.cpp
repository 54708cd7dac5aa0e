#include "ui/ExportObjectInfoOutputDlg.h"

#include "core/TextFormat.h"
#include "ui/MessageBox.h"

#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPushButton>
#include <QSaveFile>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

// The line as the file gets it.
constexpr int kLineRole = Qt::UserRole;
constexpr int kLineWidth = 2000;

// A line break inside a quoted value shows as a mark: the row stays one row.
QString Shown(const std::string& line)
{
    QString text = QString::fromStdString(line);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\u21b5"));
    text.replace(QLatin1Char('\n'), QChar(0x21b5));
    text.replace(QLatin1Char('\r'), QChar(0x21b5));
    return text;
}

}  // namespace

CExportOutputDlg::CExportOutputDlg(QWidget* parent) : QDialog(parent)
{
    setModal(false);
    list = new QTreeWidget(this);
    list->setObjectName("LineList");
    list->setColumnCount(1);
    list->setHeaderHidden(true);
    list->setRootIsDecorated(false);
    list->setItemsExpandable(false);
    list->setUniformRowHeights(true);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    // A click or Space toggles one row; the others keep their state.
    list->setSelectionMode(QAbstractItemView::MultiSelection);
    list->header()->setStretchLastSection(false);
    list->setColumnWidth(0, kLineWidth);
    list->setMinimumSize(list->fontMetrics().horizontalAdvance(QLatin1Char('x')) * 80,
                         list->fontMetrics().lineSpacing() * 16);

    exportButton = new QPushButton(this);
    exportButton->setObjectName("IDC_EXPORT_OUTPUT_EXPORT");
    cancelButton = new QPushButton(this);
    cancelButton->setObjectName("IDC_EXPORT_OUTPUTANCEL");
    for (QPushButton* button : {exportButton, cancelButton})
        button->setAutoDefault(false);
    connect(exportButton, &QPushButton::clicked, this, [this] { OnExport(); });
    connect(cancelButton, &QPushButton::clicked, this, [this] { OnCancel(); });

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(exportButton);
    buttons->addWidget(cancelButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(list, 1);
    layout->addLayout(buttons);
    setTabOrder(list, exportButton);
    setTabOrder(exportButton, cancelButton);

    Translate();
}

void CExportOutputDlg::Translate()
{
    setWindowTitle(orvabox::Text("IDC_EXPORT_OUTPUT_CAPTION"));
    exportButton->setText(orvabox::Text("IDC_EXPORT_OUTPUT_EXPORT"));
    cancelButton->setText(orvabox::Text("IDC_EXPORT_OUTPUTANCEL"));
}

void CExportOutputDlg::ClearLines()
{
    list->clear();
}

void CExportOutputDlg::AddLine(const std::string& line)
{
    auto* row = new QTreeWidgetItem(list);
    row->setText(0, Shown(line));
    row->setData(0, kLineRole, QString::fromStdString(line));
    row->setSelected(true);
}

std::vector<std::string> CExportOutputDlg::SelectedLines() const
{
    std::vector<std::string> lines;
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* row = list->topLevelItem(i);
        if (row->isSelected())
            lines.push_back(row->data(0, kLineRole).toString().toStdString());
    }
    return lines;
}

QString CExportOutputDlg::AskFileName()
{
    if (chooseFile)
        return chooseFile();
    QFileDialog dialog(this, QString(), QString(), QStringLiteral("Text Files (*.txt);;All Files (*.*)"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(QStringLiteral("txt"));
    // Replacing an existing file is asked first (the dialog's own question).
    if (orvabox::ExecInWindow(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().front();
}

void CExportOutputDlg::OnExport()
{
    const QString path = AskFileName();
    if (path.isEmpty())
        return;
    if (!WriteLines(path, SelectedLines())) {
        orvabox::AskInWindow(this,
                             FormatKey("IDS_EXPORTOUTPUTDLG_MSG_1", {QDir::toNativeSeparators(path).toStdString()}),
                             QMessageBox::Warning, QMessageBox::Ok, QMessageBox::Ok);
    }
}

bool CExportOutputDlg::WriteLines(const QString& path, const std::vector<std::string>& lines)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    for (const std::string& line : lines) {
        file.write(line.data(), static_cast<qint64>(line.size()));
        file.write("\r\n", 2);
    }
    // A failed write is remembered by the file and makes the commit fail.
    return file.commit();
}

void CExportOutputDlg::OnCancel()
{
    hide();
}

void CExportOutputDlg::reject()
{
    // Escape and the close box hide the window like Cancel.
    OnCancel();
}
