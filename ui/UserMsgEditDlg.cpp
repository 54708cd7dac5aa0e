#include "ui/UserMsgEditDlg.h"

#include "core/TextFormat.h"
#include "core/TextLookup.h"
#include "ui/AddUserMsgItemDlg.h"
#include "ui/CharLimit.h"
#include "ui/ColumnFit.h"
#include "ui/MessageBox.h"

#include <QApplication>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <QTextCursor>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// The row's message text.
constexpr int kTextRole = Qt::UserRole;
constexpr int kCodeWidth = 50;

QString TextOf(const QTreeWidgetItem* row)
{
    return row->data(0, kTextRole).toString();
}

}  // namespace

CEditUserMsgDlg::CEditUserMsgDlg(QWidget* parent, std::string filePath) : QDialog(parent), path(std::move(filePath))
{
    codeGroup = new QGroupBox(this);
    codeGroup->setObjectName("IDC_EDIT_USER_MSG_CODE");
    list = new QTreeWidget(codeGroup);
    list->setObjectName("CodeList");
    list->setColumnCount(2);
    list->setHeaderHidden(true);
    list->setRootIsDecorated(false);
    list->setItemsExpandable(false);
    list->setUniformRowHeights(true);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    // The second column only names the text each row keeps; it is never shown.
    list->setColumnHidden(1, true);

    messageGroup = new QGroupBox(this);
    messageGroup->setObjectName("IDC_EDIT_USER_MSG_MESSAGE_TEXT");
    message = new QPlainTextEdit(messageGroup);
    message->setObjectName("Message");
    // Enter makes a new line; Tab leaves the field.
    message->setTabChangesFocus(true);
    message->setLineWrapMode(QPlainTextEdit::NoWrap);
    message->setMinimumSize(message->fontMetrics().horizontalAdvance(QLatin1Char('x')) * 50,
                            message->fontMetrics().lineSpacing() * 12);

    newButton = new QPushButton(this);
    newButton->setObjectName("IDC_EDIT_USER_MSG_NEW");
    deleteButton = new QPushButton(this);
    deleteButton->setObjectName("IDC_EDIT_USER_MSG_DELETE");
    saveButton = new QPushButton(this);
    saveButton->setObjectName("IDC_EDIT_USER_MSG_SAVE");
    closeButton = new QPushButton(this);
    closeButton->setObjectName("IDC_EDIT_USER_MSG_CLOSE");
    // Return in the list presses nothing by surprise.
    for (QPushButton* button : {newButton, deleteButton, saveButton, closeButton}) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }

    auto* codeLayout = new QVBoxLayout(codeGroup);
    codeLayout->addWidget(list);
    auto* messageLayout = new QVBoxLayout(messageGroup);
    messageLayout->addWidget(message);
    auto* groups = new QHBoxLayout;
    groups->addWidget(codeGroup);
    groups->addWidget(messageGroup, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(newButton);
    buttons->addWidget(deleteButton);
    buttons->addWidget(saveButton);
    buttons->addStretch(1);
    buttons->addWidget(closeButton);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(groups, 1);
    layout->addLayout(buttons);

    // Reading order: the codes, the text, New, Delete, Save, Close.
    setTabOrder(list, message);
    setTabOrder(message, newButton);
    setTabOrder(newButton, deleteButton);
    setTabOrder(deleteButton, saveButton);
    setTabOrder(saveButton, closeButton);

    connect(list, &QTreeWidget::itemSelectionChanged, this, [this] { OnSelectionChanged(); });
    // A click goes on to the text; the arrow keys stay in the list, so the
    // codes can be walked through from the keyboard (Tab reaches the text).
    connect(list, &QTreeWidget::itemClicked, this, [this] { FocusText(); });
    connect(message, &QPlainTextEdit::textChanged, this, [this] { LimitText(); });
    connect(newButton, &QPushButton::clicked, this, [this] { OnNew(); });
    connect(deleteButton, &QPushButton::clicked, this, [this] { OnDelete(); });
    connect(saveButton, &QPushButton::clicked, this, [this] { OnSave(); });
    connect(closeButton, &QPushButton::clicked, this, [this] { OnClose(); });

    Translate();

    bool exists = false;
    const std::vector<usermsgfile::Entry> entries = usermsgfile::Read(path, &exists);
    for (const usermsgfile::Entry& entry : entries)
        AddRow(entry);
    // A missing file is created empty at once. One that exists but cannot be
    // read is left alone: it still holds the engineers' texts.
    if (!exists)
        usermsgfile::Write(path, {});
    FitCodeColumn();
    ShowNoRow();
    list->setFocus();
}

CEditUserMsgDlg::~CEditUserMsgDlg() = default;

void CEditUserMsgDlg::Translate()
{
    setWindowTitle(orvabox::Text("IDC_EDIT_USER_MSG_CAPTION"));
    codeGroup->setTitle(orvabox::Text("IDC_EDIT_USER_MSG_CODE"));
    messageGroup->setTitle(orvabox::Text("IDC_EDIT_USER_MSG_MESSAGE_TEXT"));
    newButton->setText(orvabox::Text("IDC_EDIT_USER_MSG_NEW"));
    deleteButton->setText(orvabox::Text("IDC_EDIT_USER_MSG_DELETE"));
    saveButton->setText(orvabox::Text("IDC_EDIT_USER_MSG_SAVE"));
    closeButton->setText(orvabox::Text("IDC_EDIT_USER_MSG_CLOSE"));
    list->setHeaderLabels({orvabox::Text("IDS_EDITUSERMSGDLG_MSG_1"), orvabox::Text("IDS_EDITUSERMSGDLG_MSG_2")});
    list->setToolTip(orvabox::Text("IDS_EDITUSERMSGDLG_MSG_7"));
    message->setToolTip(orvabox::Text("IDS_EDITUSERMSGDLG_MSG_8"));
    newButton->setToolTip(orvabox::Text("IDS_EDITUSERMSGDLG_MSG_9"));
    deleteButton->setToolTip(orvabox::Text("IDS_EDITUSERMSGDLG_MSG_10"));
    saveButton->setToolTip(orvabox::Text("IDS_EDITUSERMSGDLG_MSG_11"));
    closeButton->setToolTip(orvabox::Text("IDS_EDITUSERMSGDLG_MSG_12"));
}

void CEditUserMsgDlg::FitCodeColumn()
{
    // Every code has the shape of "W255"; a longer one read from the file
    // is measured as it is.
    QStringList codes{columnfit::WidestDigits(QStringLiteral("W255"), list->fontMetrics())};
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        codes.push_back(list->topLevelItem(i)->text(0));
    const int width = std::max(kCodeWidth, columnfit::FittedColumnWidth(*list, 0, codes) + 8);
    list->setColumnWidth(0, width);
    list->setFixedWidth(width + list->frameWidth() * 2 + list->style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 4);
}

void CEditUserMsgDlg::SetBeep(std::function<void()> beepFunction)
{
    beep = std::move(beepFunction);
}

void CEditUserMsgDlg::Beep()
{
    if (beep)
        beep();
    else
        QApplication::beep();
}

void CEditUserMsgDlg::AddRow(const usermsgfile::Entry& entry)
{
    auto* row = new QTreeWidgetItem(list);
    row->setText(0, QString::fromStdString(entry.code));
    row->setData(0, kTextRole, QString::fromStdString(entry.text));
}

QTreeWidgetItem* CEditUserMsgDlg::FindCode(const std::string& code) const
{
    // Exact comparison: a001 and A001 are different codes.
    const QString wanted = QString::fromStdString(code);
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        if (list->topLevelItem(i)->text(0) == wanted)
            return list->topLevelItem(i);
    }
    return nullptr;
}

void CEditUserMsgDlg::StoreCurrentText()
{
    if (current != nullptr)
        current->setData(0, kTextRole, message->toPlainText());
}

void CEditUserMsgDlg::ShowText(const QString& text)
{
    limiting = true;
    message->setPlainText(text);
    limiting = false;
    acceptedText = text;
}

void CEditUserMsgDlg::LimitText()
{
    if (limiting)
        return;
    const QString text = message->toPlainText();
    const int chars = charlimit::Count(text);
    if (chars <= kMaxTextChars || chars <= charlimit::Count(acceptedText)) {
        acceptedText = text;
        return;
    }
    // What the edit added lies between the part it kept in front and the
    // part it kept behind; as much of it as fits stays, whole characters only.
    const QString& before = acceptedText;
    const charlimit::Difference change = charlimit::Differ(before, text);
    const qsizetype front = change.front;
    const qsizetype back = change.back;
    const QString added = text.mid(front, text.size() - front - back);
    const int room = std::max(0, std::max(kMaxTextChars, charlimit::Count(before)) - (chars - charlimit::Count(added)));
    const qsizetype kept = charlimit::UnitsOf(added, room);

    limiting = true;
    charlimit::TrimInsertion(*message, front, added.size(), kept);
    limiting = false;
    acceptedText = message->toPlainText();
}

void CEditUserMsgDlg::ShowNoRow()
{
    ShowText(QString());
    message->document()->setModified(false);
    current = nullptr;
    message->setEnabled(false);
}

void CEditUserMsgDlg::Select(QTreeWidgetItem* row)
{
    selecting = true;
    list->clearSelection();
    if (row != nullptr) {
        list->setCurrentItem(row);
        row->setSelected(true);
        list->scrollToItem(row);
    }
    selecting = false;
}

void CEditUserMsgDlg::OnSelectionChanged()
{
    if (selecting)
        return;
    if (current != nullptr) {
        // Once set, the flag stays until the file is written.
        if (message->document()->isModified())
            changed = true;
        StoreCurrentText();
    }
    const QList<QTreeWidgetItem*> selected = list->selectedItems();
    if (selected.isEmpty()) {
        ShowNoRow();
        return;
    }
    current = selected.front();
    ShowText(TextOf(current));
    message->document()->setModified(false);
    message->setEnabled(true);
}

void CEditUserMsgDlg::ClickCode(const std::string& code)
{
    QTreeWidgetItem* row = code.empty() ? nullptr : FindCode(code);
    list->clearSelection();
    if (row != nullptr) {
        list->setCurrentItem(row);
        row->setSelected(true);
        FocusText();
    }
}

void CEditUserMsgDlg::FocusText()
{
    if (message->isEnabled())
        message->setFocus();
}

void CEditUserMsgDlg::OnNew()
{
    CAddUserMsgItemDlg dialog(this);
    const bool ok = runAddItem ? runAddItem(dialog) : orvabox::ExecInWindow(dialog) == QDialog::Accepted;
    if (!ok)
        return;
    const std::string code = dialog.GetCode();
    if (FindCode(code) != nullptr) {
        orvabox::AskInWindow(this,
                             LookupText("IDS_EDITUSERMSGDLG_MSG_3") + code + LookupText("IDS_EDITUSERMSGDLG_MSG_4"),
                             QMessageBox::Warning, QMessageBox::Ok, QMessageBox::Ok);
        return;
    }
    StoreCurrentText();
    if (current != nullptr && message->document()->isModified())
        changed = true;
    // Added at the end, not sorted in: the next opening sorts it.
    AddRow({code, {}});
    QTreeWidgetItem* row = list->topLevelItem(list->topLevelItemCount() - 1);
    Select(row);
    current = row;
    ShowText(QString());
    message->document()->setModified(false);
    message->setEnabled(true);
    message->setFocus();
    changed = true;
}

void CEditUserMsgDlg::OnDelete()
{
    const QList<QTreeWidgetItem*> selected = list->selectedItems();
    if (selected.isEmpty()) {
        Beep();
        return;
    }
    QTreeWidgetItem* row = selected.front();
    selecting = true;
    delete row;
    // The list must not move the selection to a neighbour: no row is current.
    list->clearSelection();
    list->setCurrentItem(nullptr);
    selecting = false;
    ShowNoRow();
    changed = true;
    list->setFocus();
}

bool CEditUserMsgDlg::WriteFile()
{
    std::string error;
    if (usermsgfile::Write(path, Entries(), &error))
        return true;
    orvabox::AskInWindow(this, FormatKey("IDS_EDITUSERMSGDLG_MSG_13", {path}), QMessageBox::Warning, QMessageBox::Ok,
                         QMessageBox::Ok);
    return false;
}

bool CEditUserMsgDlg::OnSave()
{
    if (current != nullptr && message->document()->isModified())
        changed = true;
    StoreCurrentText();
    const bool written = WriteFile();
    if (written)
        changed = false;
    message->document()->setModified(false);
    return written;
}

bool CEditUserMsgDlg::OnClose()
{
    StoreCurrentText();
    if (message->document()->isModified())
        changed = true;
    if (changed) {
        const QMessageBox::StandardButton answer =
            orvabox::AskInWindow(this, LookupText("IDS_EDITUSERMSGDLG_MSG_5"), QMessageBox::Warning,
                                 QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Yes);
        if (answer == QMessageBox::Cancel)
            return false;
        // A file that cannot be written keeps the dialog open, so the
        // operator's texts are not lost with it.
        if (answer == QMessageBox::Yes && !OnSave())
            return false;
    }
    QDialog::reject();
    return true;
}

void CEditUserMsgDlg::reject()
{
    OnClose();
}

std::vector<usermsgfile::Entry> CEditUserMsgDlg::Entries() const
{
    std::vector<usermsgfile::Entry> entries;
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* row = list->topLevelItem(i);
        const QString text = row == current ? message->toPlainText() : TextOf(row);
        entries.push_back({row->text(0).toStdString(), text.toStdString()});
    }
    return entries;
}
