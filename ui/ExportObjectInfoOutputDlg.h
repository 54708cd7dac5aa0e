#pragma once
// The output window of the object export (CExportOutputDlg): the lines built
// by the export window, one row each, all selected when added. The operator
// leaves lines out by unselecting them (a click or Space toggles a row) and
// writes the selected ones to a file with Export. Modeless, a child of the
// export window; Cancel hides it and its rows stay.

#include <QDialog>
#include <QString>

#include <functional>
#include <string>
#include <vector>

class QPushButton;
class QTreeWidget;

class CExportOutputDlg : public QDialog {
public:
    explicit CExportOutputDlg(QWidget* parent = nullptr);

    void Translate();
    void ClearLines();
    // Adds the line at the end, selected.
    void AddLine(const std::string& line);
    // The selected lines in list order.
    std::vector<std::string> SelectedLines() const;

    // The file to write, chosen in the save dialog; empty when the operator
    // cancels. Tests replace the dialog.
    using FileChooser = std::function<QString()>;
    void SetFileChooser(FileChooser chooser) { chooseFile = std::move(chooser); }

    // The buttons.
    void OnExport();
    void OnCancel();
    void reject() override;

    // Writes the lines, each followed by carriage return and line feed, to
    // a file created anew in one step. False when it could not be written
    // (an existing file is then left as it was).
    static bool WriteLines(const QString& path, const std::vector<std::string>& lines);

    QTreeWidget* LineList() const { return list; }

private:
    QString AskFileName();

    FileChooser chooseFile;
    QTreeWidget* list = nullptr;
    QPushButton* exportButton = nullptr;
    QPushButton* cancelButton = nullptr;
};
