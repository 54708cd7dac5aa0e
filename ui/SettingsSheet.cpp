#include "ui/SettingsSheet.h"

#include "dictionary/Dictionary.h"
#include "ui/MessageBox.h"
#include "ui/SettingsPageAlarms.h"
#include "ui/SettingsPageComm.h"
#include "ui/SettingsPageDatabase.h"
#include "ui/SettingsPageEmail.h"
#include "ui/SettingsPageLang.h"

#include <QDialogButtonBox>
#include <QFrame>
#include <QKeySequence>
#include <QPushButton>
#include <QShortcut>
#include <QStackedWidget>
#include <QTabBar>
#include <QVBoxLayout>

CPropertySheetLang::CPropertySheetLang(SettingsValues& edited, SettingsSheetServices services, QWidget* parent)
    : QDialog(parent), values(edited)
{
    setObjectName(QStringLiteral("IDC_PP_SETTINGS_CAPTION"));
    setWindowTitle(orvabox::Text("IDC_PP_SETTINGS_CAPTION"));

    comm = new CSettingsComm(std::move(services.listPorts), this);
    email = new CSettingsEmail(std::move(services.sendTestMail), this);
    alarms = new CSettingsAlarms(this);
    database = new CSettingsDatabase(std::move(services.browseDatabasePath), this);
    lang = new CSettingsLang(services.dictionary != nullptr ? *services.dictionary : CDictionary::Instance(),
                             std::move(services.storeLanguage), this);
    pages[kComm] = comm;
    pages[kEmail] = email;
    pages[kAlarms] = alarms;
    pages[kDatabase] = database;
    pages[kLang] = lang;

    // A tab bar over a stack rather than a tab widget: the page being left
    // stays on screen while its checks ask, and a failed check keeps it
    // without the next page ever showing.
    tabBar = new QTabBar(this);
    tabBar->setObjectName(QStringLiteral("SettingsTabs"));
    tabBar->setDrawBase(false);
    tabBar->setExpanding(false);
    stack = new QStackedWidget(this);
    stack->setFrameShape(QFrame::StyledPanel);
    for (CSettingsPage* page : pages) {
        tabBar->addTab(orvabox::Text(page->CaptionKey()));
        stack->addWidget(page);
        page->Load(values);
    }

    auto* buttons = new QDialogButtonBox(this);
    ok = buttons->addButton(orvabox::Text("IDS_IDOK"), QDialogButtonBox::AcceptRole);
    ok->setObjectName(QStringLiteral("IDS_IDOK"));
    ok->setDefault(true);
    cancel = buttons->addButton(orvabox::Text("IDS_IDCANCEL"), QDialogButtonBox::RejectRole);
    cancel->setObjectName(QStringLiteral("IDS_IDCANCEL"));
    apply = buttons->addButton(orvabox::Text("IDC_SETTINGS_LANG_APPLY"), QDialogButtonBox::ApplyRole);
    apply->setObjectName(QStringLiteral("IDC_SETTINGS_LANG_APPLY"));
    // Values take effect through OK only.
    apply->setEnabled(false);
    connect(ok, &QPushButton::clicked, this, [this] { OnOk(); });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(0);
    layout->addWidget(tabBar);
    layout->addWidget(stack, 1);
    layout->addSpacing(8);
    layout->addWidget(buttons);

    connect(tabBar, &QTabBar::currentChanged, this, [this](int index) { OnTabChanged(index); });
    // The keys of every tabbed dialog.
    auto step = [this](int by) { SelectTab((current + by + kTabCount) % kTabCount); };
    for (const QKeySequence& key : {QKeySequence(Qt::CTRL | Qt::Key_Tab), QKeySequence(Qt::CTRL | Qt::Key_PageDown)})
        connect(new QShortcut(key, this), &QShortcut::activated, this, [step] { step(1); });
    for (const QKeySequence& key :
         {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Tab), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab),
          QKeySequence(Qt::CTRL | Qt::Key_PageUp)})
        connect(new QShortcut(key, this), &QShortcut::activated, this, [step] { step(-1); });

    setTabOrder(tabBar, comm);
}

CPropertySheetLang::~CPropertySheetLang() = default;

bool CPropertySheetLang::Run()
{
    return exec() == QDialog::Accepted;
}

void CPropertySheetLang::showEvent(QShowEvent* event)
{
    if (!opened) {
        opened = true;
        // The first page shown is the Communication page.
        pages[current]->Activate();
    }
    QDialog::showEvent(event);
}

bool CPropertySheetLang::SelectTab(int tab)
{
    if (tab < 0 || tab >= kTabCount)
        return false;
    tabBar->setCurrentIndex(tab);
    return current == tab;
}

void CPropertySheetLang::OnTabChanged(int index)
{
    if (index == current || index < 0)
        return;
    if (!pages[current]->OnKillActive()) {
        const QSignalBlocker quiet(tabBar);
        tabBar->setCurrentIndex(current);
        return;
    }
    current = index;
    pages[current]->Activate();
    stack->setCurrentIndex(current);
}

bool CPropertySheetLang::OnOk()
{
    if (!pages[current]->OnKillActive())
        return false;
    for (CSettingsPage* page : pages)
        page->Store(values);
    accept();
    return true;
}
