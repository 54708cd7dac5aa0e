#include "ui/DatabaseMgrDlg.h"

#include "core/TextLookup.h"
#include "db/DatabaseMgrHost.h"
#include "db/DbConvert.h"
#include "ui/MessageBox.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <initializer_list>

namespace {

constexpr int kListWidth = 400;

QListWidget* MakeLineList(QWidget* parent)
{
    auto* list = new QListWidget(parent);
    list->setMinimumWidth(kListWidth);
    list->setSelectionMode(QAbstractItemView::NoSelection);
    list->setFocusPolicy(Qt::NoFocus);
    return list;
}

QGroupBox* Group(const char* key, QWidget* content, QWidget* parent)
{
    auto* group = new QGroupBox(orvabox::Text(key), parent);
    auto* layout = new QVBoxLayout(group);
    layout->addWidget(content);
    return group;
}

}  // namespace

CDatabaseMgrDlg::CDatabaseMgrDlg(int dialogReason, const std::string& folder, CDbConvert* dbConverter, QWidget* parent)
    : QDialog(parent), reason(dialogReason), converter(dbConverter), dialogResult(DBMGRDLG_CANCEL)
{
    setWindowTitle(orvabox::Text("IDC_DATABASE_MGR_CAPTION"));

    messages = MakeLineList(this);
    progress = MakeLineList(this);

    auto* actions = new QWidget(this);
    auto* actionLayout = new QVBoxLayout(actions);
    actionLayout->setContentsMargins(0, 0, 0, 0);
    changePath = new QRadioButton(orvabox::Text("IDC_DBMDLG_ACTION_SEL"), actions);
    newEmpty = new QRadioButton(orvabox::Text("IDC_ACTION_SEL_NEW_EMPTY"), actions);
    newCopy = new QRadioButton(orvabox::Text("IDC_ACTION_SEL_NEW_COPY"), actions);
    for (QRadioButton* choice : {changePath, newEmpty, newCopy})
        actionLayout->addWidget(choice);

    const orvabox::OkCancel okCancel = orvabox::AddOkCancel(this, [this] { OnOk(); });
    QDialogButtonBox* buttons = okCancel.box;
    ok = okCancel.ok;
    cancel = okCancel.cancel;

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Group("IDC_OPEN_OBJECT_INFO_MESSAGE", messages, this));
    layout->addWidget(Group("IDC_OPEN_OBJECT_INFO_ACTION", actions, this));
    layout->addWidget(Group("IDC_OPEN_OBJECT_INFO_PROGRESS", progress, this));
    layout->addWidget(buttons);

    SetUpReason(folder);
}

void CDatabaseMgrDlg::SetUpReason(const std::string& folder)
{
    const auto show = [this, &folder](std::initializer_list<const char*> keys) {
        for (const char* key : keys)
            messages->addItem(key == nullptr ? QString::fromStdString(folder) : orvabox::Text(key));
    };
    // nullptr stands for the folder line.
    bool offerEmpty = false;
    bool offerCopy = false;
    switch (reason) {
    case DBMGRDLG_REASON_INVALID_PATH:
        show({"IDS_DATABASEMGRDLG_MSG_1", nullptr, "IDS_DATABASEMGRDLG_MSG_2", "IDS_DATABASEMGRDLG_MSG_3"});
        break;
    case DBMGRDLG_REASON_NO_DATABASE:
        show({"IDS_DATABASEMGRDLG_MSG_4", nullptr, "IDS_DATABASEMGRDLG_MSG_5"});
        offerEmpty = true;
        break;
    case DBMGRDLG_REASON_BAD_DATABASE:
        show({"IDS_DATABASEMGRDLG_MSG_8", nullptr, "IDS_DATABASEMGRDLG_MSG_9"});
        break;
    case DBMGRDLG_REASON_OLD_VERSION:
        show({"IDS_DATABASEMGRDLG_MSG_6", nullptr, "IDS_DATABASEMGRDLG_MSG_7"});
        offerEmpty = true;
        offerCopy = true;
        break;
    default:
        // Nothing to create for an unknown reason: changing the path is the
        // one safe way on.
        show({nullptr});
        break;
    }
    changePath->setEnabled(true);
    newEmpty->setEnabled(offerEmpty);
    newCopy->setEnabled(offerCopy);
    (offerCopy ? newCopy : changePath)->setChecked(true);
}

int CDatabaseMgrDlg::Run()
{
    Beep();
    return exec() == QDialog::Accepted ? dialogResult : DBMGRDLG_CANCEL;
}

void CDatabaseMgrDlg::OnOk()
{
    switch (stage) {
    case Stage::Created:
        dialogResult = DBMGRDLG_START;
        accept();
        return;
    case Stage::Failed:
        dialogResult = DBMGRDLG_END;
        accept();
        return;
    case Stage::Choosing:
        break;
    }
    if (newEmpty->isChecked() && newEmpty->isEnabled())
        CreateDatabase(false);
    else if (newCopy->isChecked() && newCopy->isEnabled())
        CreateDatabase(true);
    else {
        dialogResult = DBMGRDLG_CHANGE_PATH;
        accept();
    }
}

void CDatabaseMgrDlg::CreateDatabase(bool copy)
{
    // The outcome is final: the choices are locked so that the next OK
    // means "go on" and nothing is created twice.
    for (QRadioButton* choice : {changePath, newEmpty, newCopy})
        choice->setEnabled(false);

    bool done = false;
    if (converter != nullptr) {
        converter->SetProgressList(this);
        done = converter->CreateDatabase() == 1 && (!copy || converter->CopyData() == 1);
        converter->SetProgressList(nullptr);
    }
    if (copy) {
        AddProgressLine(LookupText(done ? "IDS_DATABASEMGRDLG_MSG_14" : "IDS_DATABASEMGRDLG_MSG_16"));
        AddProgressLine(LookupText(done ? "IDS_DATABASEMGRDLG_MSG_15" : "IDS_DATABASEMGRDLG_MSG_17"));
    } else {
        AddProgressLine(LookupText(done ? "IDS_DATABASEMGRDLG_MSG_10" : "IDS_DATABASEMGRDLG_MSG_12"));
        AddProgressLine(LookupText(done ? "IDS_DATABASEMGRDLG_MSG_11" : "IDS_DATABASEMGRDLG_MSG_13"));
    }
    // The toolkit has one beep for both the default and the exclamation beep.
    Beep();
    stage = done ? Stage::Created : Stage::Failed;
}

void CDatabaseMgrDlg::AddProgressLine(const std::string& text)
{
    progress->insertItem(0, QString::fromStdString(text));
}

void CDatabaseMgrDlg::Beep()
{
    ++beeps;
    QApplication::beep();
}
