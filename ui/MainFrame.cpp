#include "ui/MainFrame.h"

#include "core/TextLookup.h"
#include "station/OrvaDoc.h"
#include "ui/Commands.h"
#include "ui/GenerateP100MsgDlg.h"
#include "ui/MessageBox.h"
#include "ui/ViewCommands.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QIcon>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QStringList>
#include <QTimer>
#include <QToolBar>

#include <cstring>
#include <string>
#include <vector>

namespace {

// What the frame knows of each command: its menu text (template and key),
// its status prompt and its tooltip (keys, null when it has none).
struct CommandInfo {
    int id;
    const char* templateText;
    const char* menuKey;
    const char* promptKey;
    const char* tooltipKey;
    bool checkable;
};

const CommandInfo kCommands[] = {
    {ID_FILE_NEW, "&New...\tCtrl+N", "IDC_MENU_ID_FILE_NEW", "IDS_MAINFRM_STATUSBAR_ID_FILE_NEW",
     "IDS_TOOLBAR_TOOLTIP_ID_FILE_NEW", false},
    {ID_FILE_OPEN, "&Open...\tCtrl+O", "IDC_MENU_ID_FILE_OPEN", "IDS_MAINFRM_STATUSBAR_ID_FILE_OPEN",
     "IDS_TOOLBAR_TOOLTIP_ID_FILE_OPEN", false},
    {ID_FILE_SAVE, "&Save\tCtrl+S", "IDC_MENU_ID_FILE_SAVE", "IDS_MAINFRM_STATUSBAR_ID_FILE_SAVE",
     "IDS_TOOLBAR_TOOLTIP_ID_FILE_SAVE", false},
    {ID_FILE_PRINT, "&Print...\tCtrl+P", "IDC_MENU_ID_FILE_PRINT", "IDS_MAINFRM_STATUSBAR_ID_FILE_PRINT",
     "IDS_TOOLBAR_TOOLTIP_ID_FILE_PRINT", false},
    {ID_FILE_PRINT_PREVIEW, "Print Pre&view", "IDC_MENU_ID_FILE_PRINT_PREVIEW",
     "IDS_MAINFRM_STATUSBAR_ID_FILE_PRINT_PREVIEW", nullptr, false},
    {ID_FILE_PRINT_SETUP, "P&rint Setup...", "IDC_MENU_ID_FILE_PRINT_SETUP",
     "IDS_MAINFRM_STATUSBAR_ID_FILE_PRINT_SETUP", nullptr, false},
    {ID_APP_EXIT, "E&xit", "IDC_MENU_ID_APP_EXIT", "IDS_MAINFRM_STATUSBAR_ID_APP_EXIT", nullptr, false},
    {ID_OPTIONS_SETTINGS, "&Settings...", "IDC_MENU_ID_OPTIONS_SETTINGS", "IDS_MAINFRM_STATUSBAR_ID_OPTIONS_SETTINGS",
     nullptr, false},
    {ID_OPTIONS_SEND_SMS, "S&end SMS...", "IDC_MENU_ID_OPTIONS_SEND_SMS", "IDS_MAINFRM_STATUSBAR_ID_OPTIONS_SEND_SMS",
     nullptr, false},
    {ID_OPTIONS_CHANGE_OPERATOR, "&Change Operator...", "IDC_MENU_ID_OPTIONS_CHANGE_OPERATOR",
     "IDS_MAINFRM_STATUSBAR_ID_OPTIONS_CHANGE_OPERATOR", nullptr, false},
    {ID_OPTIONS_EDIT_USER_MSG_FILE, "Edit &User Message File...", "IDC_MENU_ID_OPTIONS_EDIT_USER_MSG_FILE",
     "IDS_MAINFRM_STATUSBAR_ID_OPTIONS_EDIT_USER_MSG_FILE", nullptr, false},
    {ID_OPTIONS_EXPORT_OBJECTINFO, "&ObjectInfo...", "IDC_MENU_ID_OPTIONS_EXPORT_OBJECTINFO",
     "IDS_MAINFRM_STATUSBAR_ID_OPTIONS_EXPORT_OBJECTINFO", nullptr, false},
    {ID_OPTIONS_SYSTEMINFORMATION, "System &Information...", "IDC_MENU_ID_OPTIONS_SYSTEMINFORMATION",
     "IDS_MAINFRM_STATUSBAR_ID_OPTIONS_SYSTEMINFORMATION", "IDS_TOOLBAR_TOOLTIP_ID_OPTIONS_SYSTEMINFORMATION", false},
    {ID_OPTIONS_UNATTENDED, "U&nattended Mode", "IDC_MENU_ID_OPTIONS_UNATTENDED",
     "IDS_MAINFRM_STATUSBAR_ID_OPTIONS_UNATTENDED", "IDS_TOOLBAR_TOOLTIP_ID_OPTIONS_UNATTENDED", true},
    {ID_ALARMLIST_VIEW, "&View        \tSPACE/RETURN", "IDC_MENU_ID_ALARMLIST_VIEW",
     "IDS_MAINFRM_STATUSBAR_ID_ALARMLIST_VIEW", "IDS_TOOLBAR_TOOLTIP_ID_ALARMLIST_VIEW", false},
    {ID_ALARMLIST_DELETE, "&Delete\tDEL", "IDC_MENU_ID_ALARMLIST_DELETE", "IDS_MAINFRM_STATUSBAR_ID_ALARMLIST_DELETE",
     nullptr, false},
    {ID_ALARMLIST_REFRESH, "&Refresh\tF5", "IDC_MENU_ID_ALARMLIST_REFRESH",
     "IDS_MAINFRM_STATUSBAR_ID_ALARMLIST_REFRESH", "IDS_TOOLBAR_TOOLTIP_ID_ALARMLIST_REFRESH", false},
    {ID_ALARMLIST_FILTER_NEW, "New", "IDC_MENU_ID_ALARMLIST_FILTER_NEW",
     "IDS_MAINFRM_STATUSBAR_ID_ALARMLIST_FILTER_NEW", "IDS_TOOLBAR_TOOLTIP_ID_ALARMLIST_FILTER_NEW", true},
    {ID_ALARMLIST_FILTER_ACKNOWLEDGED, "Acknowledged", "IDC_MENU_ID_ALARMLIST_FILTER_ACKNOWLEDGED",
     "IDS_MAINFRM_STATUSBAR_ID_ALARMLIST_FILTER_ACKNOWLEDGED", "IDS_TOOLBAR_TOOLTIP_ID_ALARMLIST_FILTER_ACKNOWLEDGED",
     true},
    {ID_ALARMLIST_FILTER_FINISHED, "Finished", "IDC_MENU_ID_ALARMLIST_FILTER_FINISHED",
     "IDS_MAINFRM_STATUSBAR_ID_ALARMLIST_FILTER_FINISHED", "IDS_TOOLBAR_TOOLTIP_ID_ALARMLIST_FILTER_FINISHED", true},
    {ID_ALARMLIST_FILTER_INFOALARMS, "Info Alarms", "IDC_MENU_ID_ALARMLIST_FILTER_INFOALARMS",
     "IDS_MAINFRM_STATUSBAR_ID_ALARMLIST_FILTER_INFOALARMS", "IDS_TOOLBAR_TOOLTIP_ID_ALARMLIST_FILTER_INFOALARMS",
     true},
    {ID_ALARMLIST_SETSTATUS_ACKNOWLEDGED, "&Acknowledged", "IDC_MENU_ID_ALARMLIST_SETSTATUS_ACKNOWLEDGED",
     "IDS_MAINFRM_STATUSBAR_ID_ALARMLIST_SETSTATUS_ACKNOWLEDGED", nullptr, false},
    {ID_ALARMLIST_SETSTATUS_FINISHED, "&Finished", "IDC_MENU_ID_ALARMLIST_SETSTATUS_FINISHED",
     "IDS_MAINFRM_STATUSBAR_ID_ALARMLIST_SETSTATUS_FINISHED", nullptr, false},
    {ID_APP_ABOUT, "&About...", "IDC_MENU_ID_APP_ABOUT", "IDS_MAINFRM_STATUSBAR_ID_APP_ABOUT",
     "IDS_TOOLBAR_TOOLTIP_ID_APP_ABOUT", false},
    // Reached only by its accelerator.
    {ID_GENERATE_P100_MSG, "", nullptr, nullptr, nullptr, false},
};

const CommandInfo* FindCommand(int id)
{
    for (const CommandInfo& info : kCommands) {
        if (info.id == id)
            return &info;
    }
    return nullptr;
}

// The menu template, in order. A pop-up runs to its End.
enum class MenuItem { Command, Popup, Separator, End };
struct MenuEntry {
    MenuItem item;
    int command;
    const char* text;  // template text of a pop-up
};

// The template text of the service pop-up after Help.
constexpr const char* kServicePopup = "&Service";

const MenuEntry kMenuTemplate[] = {
    {MenuItem::Popup, 0, "&File"},
    {MenuItem::Command, ID_FILE_NEW, nullptr},
    {MenuItem::Command, ID_FILE_OPEN, nullptr},
    {MenuItem::Command, ID_FILE_SAVE, nullptr},
    {MenuItem::Separator, 0, nullptr},
    {MenuItem::Command, ID_FILE_PRINT, nullptr},
    {MenuItem::Command, ID_FILE_PRINT_PREVIEW, nullptr},
    {MenuItem::Command, ID_FILE_PRINT_SETUP, nullptr},
    {MenuItem::Separator, 0, nullptr},
    {MenuItem::Command, ID_APP_EXIT, nullptr},
    {MenuItem::End, 0, nullptr},

    {MenuItem::Popup, 0, "&Options"},
    {MenuItem::Command, ID_OPTIONS_SETTINGS, nullptr},
    {MenuItem::Command, ID_OPTIONS_SEND_SMS, nullptr},
    {MenuItem::Command, ID_OPTIONS_CHANGE_OPERATOR, nullptr},
    {MenuItem::Command, ID_OPTIONS_EDIT_USER_MSG_FILE, nullptr},
    {MenuItem::Popup, 0, "E&xport"},
    {MenuItem::Command, ID_OPTIONS_EXPORT_OBJECTINFO, nullptr},
    {MenuItem::End, 0, nullptr},
    {MenuItem::Command, ID_OPTIONS_SYSTEMINFORMATION, nullptr},
    {MenuItem::Command, ID_OPTIONS_UNATTENDED, nullptr},
    {MenuItem::End, 0, nullptr},

    {MenuItem::Popup, 0, "&Alarmlist"},
    {MenuItem::Command, ID_ALARMLIST_VIEW, nullptr},
    {MenuItem::Command, ID_ALARMLIST_DELETE, nullptr},
    {MenuItem::Command, ID_ALARMLIST_REFRESH, nullptr},
    {MenuItem::Popup, 0, "Filter"},
    {MenuItem::Command, ID_ALARMLIST_FILTER_NEW, nullptr},
    {MenuItem::Command, ID_ALARMLIST_FILTER_ACKNOWLEDGED, nullptr},
    {MenuItem::Command, ID_ALARMLIST_FILTER_FINISHED, nullptr},
    {MenuItem::Command, ID_ALARMLIST_FILTER_INFOALARMS, nullptr},
    {MenuItem::End, 0, nullptr},
    {MenuItem::Popup, 0, "&Set Status"},
    {MenuItem::Command, ID_ALARMLIST_SETSTATUS_ACKNOWLEDGED, nullptr},
    {MenuItem::Command, ID_ALARMLIST_SETSTATUS_FINISHED, nullptr},
    {MenuItem::End, 0, nullptr},
    {MenuItem::Command, ID_FILE_PRINT, nullptr},
    {MenuItem::End, 0, nullptr},

    {MenuItem::Popup, 0, "&Help"},
    {MenuItem::Command, ID_APP_ABOUT, nullptr},
    {MenuItem::End, 0, nullptr},

    // Service tests; removed again right after the translation.
    {MenuItem::Popup, 0, kServicePopup},
    {MenuItem::End, 0, nullptr},
};

// Pop-ups are recognised by their template text, exactly.
const struct {
    const char* templateText;
    const char* key;
} kPopupKeys[] = {
    {"&File", "IDC_MENU_POPUP_FILE"},     {"&Options", "IDC_MENU_POPUP_OPTIONS"},
    {"E&xport", "IDC_MENU_POPUP_EXPORT"}, {"&Alarmlist", "IDC_MENU_POPUP_ALARMLIST"},
    {"Filter", "IDC_MENU_POPUP_FILTER"},  {"&Set Status", "IDC_MENU_POPUP_SET_STATUS"},
    {"&Help", "IDC_MENU_POPUP_HELP"},
};

// Toolbar, left to right; 0 is a separator.
const int kToolbarButtons[] = {
    ID_FILE_NEW,
    ID_FILE_OPEN,
    ID_FILE_SAVE,
    0,
    ID_FILE_PRINT,
    0,
    ID_ALARMLIST_VIEW,
    ID_ALARMLIST_REFRESH,
    ID_ALARMLIST_FILTER_NEW,
    ID_ALARMLIST_FILTER_ACKNOWLEDGED,
    ID_ALARMLIST_FILTER_FINISHED,
    ID_ALARMLIST_FILTER_INFOALARMS,
    0,
    ID_OPTIONS_UNATTENDED,
    0,
    ID_OPTIONS_SYSTEMINFORMATION,
    ID_APP_ABOUT,
};

// The filter commands by their bit in the alarm list's filter mask.
const int kFilterCommands[] = {
    ID_ALARMLIST_FILTER_NEW,
    ID_ALARMLIST_FILTER_ACKNOWLEDGED,
    ID_ALARMLIST_FILTER_FINISHED,
    ID_ALARMLIST_FILTER_INFOALARMS,
};

int FilterBit(int command)
{
    for (int bit = 0; bit < 4; ++bit) {
        if (kFilterCommands[bit] == command)
            return bit;
    }
    return -1;
}

QList<QKeySequence> Shortcuts(int command)
{
    switch (command) {
    case ID_FILE_NEW:
        return {QKeySequence(Qt::CTRL | Qt::Key_N)};
    case ID_FILE_OPEN:
        return {QKeySequence(Qt::CTRL | Qt::Key_O)};
    case ID_FILE_SAVE:
        return {QKeySequence(Qt::CTRL | Qt::Key_S)};
    case ID_FILE_PRINT:
        return {QKeySequence(Qt::CTRL | Qt::Key_P)};
    // The keypad's Enter counts as Return.
    case ID_ALARMLIST_VIEW:
        return {QKeySequence(Qt::Key_Space), QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)};
    case ID_ALARMLIST_DELETE:
        return {QKeySequence(Qt::Key_Delete)};
    case ID_ALARMLIST_REFRESH:
        return {QKeySequence(Qt::Key_F5)};
    case ID_GENERATE_P100_MSG:
        return {QKeySequence(Qt::CTRL | Qt::ALT | Qt::SHIFT | Qt::Key_F1)};
    default:
        return {};
    }
}

QString Text(const char* key)
{
    return QString::fromStdString(LookupText(key));
}

// A menu text as plain words: without the accelerator after the tab and
// without the mnemonic markers ("&&" stays one "&").
QString PlainMenuText(const char* key)
{
    QString text = Text(key);
    const qsizetype tab = text.indexOf(QLatin1Char('\t'));
    if (tab >= 0)
        text.truncate(tab);
    QString plain;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == QLatin1Char('&') && i + 1 < text.size())
            ++i;
        plain += text[i];
    }
    return plain.trimmed();
}

// --- Toolbar images: 16 by 16, drawn here so that no image file is needed.

void DrawPage(QPainter& p)
{
    QPainterPath page;
    page.moveTo(3, 1);
    page.lineTo(10, 1);
    page.lineTo(13, 4);
    page.lineTo(13, 15);
    page.lineTo(3, 15);
    page.closeSubpath();
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(Qt::white);
    p.drawPath(page);
    p.drawLine(QPointF(10, 1), QPointF(10, 4));
    p.drawLine(QPointF(10, 4), QPointF(13, 4));
}

void DrawDisc(QPainter& p, const QColor& color)
{
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(color);
    p.drawEllipse(QRectF(2.5, 2.5, 11, 11));
}

QIcon DrawIcon(int command)
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    switch (command) {
    case ID_FILE_NEW:
        DrawPage(p);
        p.setPen(QPen(QColor(255, 200, 0), 2));
        p.drawLine(QPointF(12, 9), QPointF(12, 15));
        p.drawLine(QPointF(9, 12), QPointF(15, 12));
        break;
    case ID_FILE_OPEN:
        p.setPen(QPen(Qt::black, 1));
        p.setBrush(QColor(230, 190, 60));
        p.drawRect(QRectF(1.5, 4.5, 13, 9));
        p.setBrush(QColor(250, 220, 110));
        p.drawPolygon(QPolygonF({QPointF(3.5, 7.5), QPointF(15.5, 7.5), QPointF(13.5, 13.5), QPointF(1.5, 13.5)}));
        break;
    case ID_FILE_SAVE:
        p.setPen(QPen(Qt::black, 1));
        p.setBrush(QColor(40, 80, 170));
        p.drawRect(QRectF(1.5, 1.5, 13, 13));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(4.5, 1.5, 7, 5));
        p.setBrush(QColor(200, 200, 200));
        p.drawRect(QRectF(4.5, 9.5, 7, 5));
        break;
    case ID_FILE_PRINT:
        p.setPen(QPen(Qt::black, 1));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(4.5, 1.5, 7, 5));
        p.setBrush(QColor(170, 170, 170));
        p.drawRect(QRectF(1.5, 6.5, 13, 6));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(4.5, 10.5, 7, 4));
        break;
    case ID_ALARMLIST_VIEW:
        p.setPen(QPen(Qt::black, 1.5));
        p.setBrush(QColor(200, 230, 255));
        p.drawEllipse(QRectF(1.5, 1.5, 9, 9));
        p.setPen(QPen(Qt::black, 2.5));
        p.drawLine(QPointF(9.5, 9.5), QPointF(14.5, 14.5));
        break;
    case ID_ALARMLIST_REFRESH: {
        p.setPen(QPen(QColor(0, 120, 0), 2));
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(2.5, 2.5, 11, 11), 60 * 16, 300 * 16);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0, 120, 0));
        p.drawPolygon(QPolygonF({QPointF(9, 0.5), QPointF(14, 3.5), QPointF(9, 7)}));
        break;
    }
    // The filters show the colours of the statuses in the alarm list.
    case ID_ALARMLIST_FILTER_NEW:
        DrawDisc(p, Qt::red);
        break;
    case ID_ALARMLIST_FILTER_ACKNOWLEDGED:
        DrawDisc(p, Qt::yellow);
        break;
    case ID_ALARMLIST_FILTER_FINISHED:
        DrawDisc(p, Qt::green);
        break;
    case ID_ALARMLIST_FILTER_INFOALARMS:
        DrawDisc(p, Qt::cyan);
        break;
    case ID_OPTIONS_UNATTENDED:
        // A telephone handset.
        p.setPen(QPen(Qt::black, 1));
        p.setBrush(QColor(60, 60, 60));
        p.drawRoundedRect(QRectF(1.5, 3.5, 13, 4), 2, 2);
        p.drawRect(QRectF(3.5, 7.5, 9, 6));
        p.setBrush(QColor(192, 192, 192));
        p.drawEllipse(QRectF(6, 9, 4, 4));
        break;
    case ID_OPTIONS_SYSTEMINFORMATION:
        p.setPen(QPen(Qt::black, 1));
        p.setBrush(QColor(220, 220, 220));
        p.drawRect(QRectF(1.5, 2.5, 13, 9));
        p.setBrush(QColor(0, 0, 128));
        p.drawRect(QRectF(3.5, 4.5, 9, 5));
        p.setBrush(QColor(120, 120, 120));
        p.drawRect(QRectF(5.5, 12.5, 5, 2));
        break;
    case ID_APP_ABOUT: {
        p.setPen(QPen(Qt::black, 1));
        p.setBrush(QColor(255, 255, 200));
        p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
        QFont font = p.font();
        font.setBold(true);
        font.setPixelSize(11);
        p.setFont(font);
        p.drawText(QRectF(0, 0, 16, 16), Qt::AlignCenter, QStringLiteral("?"));
        break;
    }
    default:
        break;
    }
    p.end();
    return QIcon(pixmap);
}

}  // namespace

// ---------------------------------------------------------------------------
// Creation

CMainFrame::CMainFrame(COrvaDoc& document, CViewCommands& viewCommands, QWidget* viewWidget, QWidget* parent)
    : QMainWindow(parent), doc(document), view(viewCommands)
{
    setObjectName(QStringLiteral("MainFrame"));
    CreateActions();
    CreateToolBar();
    CreateStatusBar();
    CreateMenu();
    if (viewWidget)
        setCentralWidget(viewWidget);

    // Its frames go to the telephone handler like a request of the windows.
    p100Window =
        new CGenerateP100MsgDlg(this, [&document](std::unique_ptr<CMsg> msg) { document.PostToTel(std::move(msg)); });
    view.SetContextMenu(alarmlistMenu);

    readLockKeys = [] { return CLockKeys::Read(); };
    updateTimer = new QTimer(this);
    updateTimer->setInterval(kUpdateIntervalMs);
    connect(updateTimer, &QTimer::timeout, this, [this] {
        UpdateCommandStates();
        UpdateLockPanes();
    });
    updateTimer->start();
    UpdateCommandStates();
    UpdateLockPanes();
}

CMainFrame::~CMainFrame()
{
    updateTimer->stop();
}

void CMainFrame::CreateActions()
{
    for (const CommandInfo& info : kCommands) {
        auto* action = new QAction(QString::fromUtf8(info.templateText), this);
        action->setCheckable(info.checkable);
        action->setShortcuts(Shortcuts(info.id));
        action->setShortcutContext(Qt::WindowShortcut);
        // The menu text carries the key names after its tab already.
        action->setShortcutVisibleInContextMenu(false);
        if (info.promptKey)
            action->setStatusTip(Text(info.promptKey));
        if (info.tooltipKey)
            action->setToolTip(Text(info.tooltipKey));
        action->setData(info.id);
        const int id = info.id;
        connect(action, &QAction::triggered, this, [this, id] { OnCommand(id); });
        connect(action, &QAction::hovered, this, [this, id] { OnHovered(id); });
        actions[id] = action;
    }
    // No menu entry and no button: the frame itself carries the accelerator.
    addAction(actions[ID_GENERATE_P100_MSG]);
}

void CMainFrame::CreateMenu()
{
    QMenuBar* bar = menuBar();
    std::vector<QMenu*> open;  // the pop-ups being filled, innermost last
    QMenu* service = nullptr;
    for (const MenuEntry& entry : kMenuTemplate) {
        switch (entry.item) {
        case MenuItem::Popup: {
            const QString title = QString::fromUtf8(entry.text);
            QMenu* menu = open.empty() ? bar->addMenu(title) : open.back()->addMenu(title);
            if (open.empty()) {
                connect(menu, &QMenu::aboutToHide, this, [this] { ShowIdlePrompt(); });
                if (std::strcmp(entry.text, kServicePopup) == 0)
                    service = menu;
            }
            // Also the list's context menu; as a top-level pop-up it already
            // puts the idle text back when it closes.
            if (std::strcmp(entry.text, "&Alarmlist") == 0)
                alarmlistMenu = menu;
            connect(menu, &QMenu::aboutToShow, this, [this] { UpdateCommandStates(); });
            open.push_back(menu);
            break;
        }
        case MenuItem::Command:
            open.back()->addAction(actions.at(entry.command));
            break;
        case MenuItem::Separator:
            open.back()->addSeparator();
            break;
        case MenuItem::End:
            open.pop_back();
            break;
        }
    }

    TranslateMenu(bar);
    if (service) {
        bar->removeAction(service->menuAction());
        delete service;
    }
}

// Once, at creation: entries by their command, pop-ups by their template
// text; an empty text keeps the template.
void CMainFrame::TranslateMenu(QWidget* menu)
{
    for (QAction* entry : menu->actions()) {
        if (entry->isSeparator())
            continue;
        std::string text;
        if (QMenu* popup = entry->menu()) {
            const QString templateText = entry->text();
            for (const auto& popupKey : kPopupKeys) {
                if (templateText == QString::fromUtf8(popupKey.templateText)) {
                    text = LookupText(popupKey.key);
                    break;
                }
            }
            if (!text.empty())
                popup->setTitle(QString::fromStdString(text));
            TranslateMenu(popup);
        } else if (const CommandInfo* info = FindCommand(entry->data().toInt()); info && info->menuKey) {
            text = LookupText(info->menuKey);
            if (!text.empty())
                entry->setText(QString::fromStdString(text));
        }
    }
}

void CMainFrame::CreateToolBar()
{
    toolBar = new QToolBar(QStringLiteral("Toolbar"), this);
    toolBar->setObjectName(QStringLiteral("MainToolBar"));
    toolBar->setIconSize(QSize(16, 16));
    toolBar->setMovable(true);
    toolBar->setFloatable(true);
    toolBar->setAllowedAreas(Qt::AllToolBarAreas);
    toolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    for (int command : kToolbarButtons) {
        if (command == 0) {
            toolBar->addSeparator();
            continue;
        }
        QAction* action = actions.at(command);
        if (action->icon().isNull())
            action->setIcon(DrawIcon(command));
        toolBar->addAction(action);
    }
    addToolBar(Qt::TopToolBarArea, toolBar);
}

void CMainFrame::CreateStatusBar()
{
    QStatusBar* bar = statusBar();
    // Pane 0 has no border; the others draw their own sunken frame.
    bar->setStyleSheet(QStringLiteral("QStatusBar::item { border: none; }"));
    const QFontMetrics metrics(bar->font());
    const int blanks[] = {0, 35, 50, 50};
    for (int pane = 0; pane < kPaneCount; ++pane) {
        auto* label = new QLabel(bar);
        label->setObjectName(QStringLiteral("Pane%1").arg(pane));
        if (pane == kPanePrompt) {
            label->setText(Text("AFX_IDS_IDLEMESSAGE"));
            // A long prompt is cut rather than the panes beside it.
            label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
            bar->addWidget(label, 1);
            // Between the prompt and the managers' panes, hard to miss, and
            // always whole.
            filterPane = new QLabel(bar);
            filterPane->setObjectName(QStringLiteral("FilterPane"));
            filterPane->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
            filterPane->setStyleSheet(
                QStringLiteral("QLabel { background: #ffd54f; color: black; font-weight: bold; padding: 0 6px; }"));
            filterPane->hide();
            bar->addWidget(filterPane);
        } else {
            label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
            const int width = pane < 4 ? metrics.horizontalAdvance(QString(blanks[pane], QLatin1Char(' ')))
                                       : metrics.horizontalAdvance(QStringLiteral("SCRL")) + 6;
            label->setMinimumWidth(width);
            bar->addPermanentWidget(label);
        }
        panes[pane] = label;
    }
}

// ---------------------------------------------------------------------------
// Status bar

void CMainFrame::SetPaneText(int pane, const QString& text)
{
    if (pane >= 0 && pane < kPaneCount)
        panes[pane]->setText(text);
}

QString CMainFrame::PaneText(int pane) const
{
    if (pane >= 0 && pane < kPaneCount)
        return panes[pane]->text();
    return {};
}

void CMainFrame::ShowIdlePrompt()
{
    SetPaneText(kPanePrompt, Text("AFX_IDS_IDLEMESSAGE"));
}

// A hovered entry or button: its prompt and tooltip in the language of this
// moment. Setting them on the action also updates the toolbar button, whose
// tooltip is shown after this.
void CMainFrame::OnHovered(int command)
{
    const CommandInfo* info = FindCommand(command);
    QAction* action = Action(command);
    if (!info || !action)
        return;
    if (info->tooltipKey)
        action->setToolTip(Text(info->tooltipKey));
    if (info->promptKey) {
        const QString prompt = Text(info->promptKey);
        action->setStatusTip(prompt);
        SetPaneText(kPanePrompt, prompt);
    }
}

bool CMainFrame::event(QEvent* event)
{
    // Menus and toolbar buttons send their prompt on hover and an empty one
    // when the pointer leaves; empty means the idle text.
    if (event->type() == QEvent::StatusTip) {
        const QString tip = static_cast<QStatusTipEvent*>(event)->tip();
        if (tip.isEmpty())
            ShowIdlePrompt();
        else
            SetPaneText(kPanePrompt, tip);
        return true;
    }
    return QMainWindow::event(event);
}

// ---------------------------------------------------------------------------
// Commands

void CMainFrame::SetCommandHandler(int command, std::function<void()> handler)
{
    if (handler)
        handlers[command] = std::move(handler);
    else
        handlers.erase(command);
}

QAction* CMainFrame::Action(int command)
{
    const auto found = actions.find(command);
    return found != actions.end() ? found->second : nullptr;
}

bool CMainFrame::IsCommandEnabled(int command) const
{
    switch (command) {
    case ID_FILE_PRINT_PREVIEW:
        return false;
    case ID_OPTIONS_SEND_SMS:
        return doc.Settings().GsmEnabled != 0;
    case ID_OPTIONS_UNATTENDED:
        return doc.Settings().VoiceCallEnabled != 0;
    default:
        return true;
    }
}

void CMainFrame::UpdateCommandStates()
{
    for (const auto& [command, action] : actions)
        action->setEnabled(IsCommandEnabled(command));
    const uint8_t mask = view.GetFilterMask();
    for (int bit = 0; bit < 4; ++bit)
        actions.at(kFilterCommands[bit])->setChecked((mask & (1u << bit)) != 0);
    actions.at(ID_OPTIONS_UNATTENDED)->setChecked(view.IsUnattended());
    UpdateFilterPane();
}

QString CMainFrame::FilterText() const
{
    // The statuses by their filter commands' names, as the operator finds
    // them in the Filter menu.
    static const char* const kNames[] = {
        "IDC_MENU_ID_ALARMLIST_FILTER_NEW",
        "IDC_MENU_ID_ALARMLIST_FILTER_ACKNOWLEDGED",
        "IDC_MENU_ID_ALARMLIST_FILTER_FINISHED",
        "IDC_MENU_ID_ALARMLIST_FILTER_INFOALARMS",
    };
    const uint8_t mask = view.GetFilterMask();
    QStringList hidden;
    for (int bit = 0; bit < 4; ++bit) {
        if ((mask & (1u << bit)) == 0)
            hidden << PlainMenuText(kNames[bit]);
    }
    if (hidden.isEmpty())
        return {};
    QString text = Text("IDS_MAINFRM_FILTER_HIDDEN");
    text.replace(QStringLiteral("%s"), hidden.join(QStringLiteral(", ")));
    return text;
}

// Looked up on every update, so it follows a language change at once.
void CMainFrame::UpdateFilterPane()
{
    const QString text = FilterText();
    if (text != filterPane->text())
        filterPane->setText(text);
    filterPane->setVisible(!text.isEmpty());
}

void CMainFrame::SetLockKeyReader(std::function<std::optional<LockKeyStates>()> reader)
{
    readLockKeys = std::move(reader);
    UpdateLockPanes();
}

void CMainFrame::UpdateLockPanes()
{
    const std::optional<LockKeyStates> states = readLockKeys ? readLockKeys() : std::nullopt;
    if (!states)
        return;  // the platform does not tell; the panes stay as they are
    const struct {
        int pane;
        bool on;
        const char* text;
    } kPanes[] = {
        {kPaneCaps, states->caps, "CAP"},
        {kPaneNum, states->num, "NUM"},
        {kPaneScroll, states->scroll, "SCRL"},
    };
    for (const auto& lock : kPanes) {
        const QString text = lock.on ? QString::fromLatin1(lock.text) : QString();
        if (panes[lock.pane]->text() != text)
            panes[lock.pane]->setText(text);
    }
}

void CMainFrame::OnCommand(int command)
{
    // The state may have changed since the menu or button was last updated
    // (an accelerator does not open the menu).
    if (!IsCommandEnabled(command)) {
        UpdateCommandStates();
        return;
    }
    if (const auto handler = handlers.find(command); handler != handlers.end()) {
        // A copy: the handler may replace itself.
        const std::function<void()> run = handler->second;
        run();
        UpdateCommandStates();
        return;
    }

    switch (command) {
    case ID_ALARMLIST_VIEW:
        view.OnAlarmlistView();
        break;
    case ID_ALARMLIST_DELETE:
        view.OnAlarmlistDelete();
        break;
    case ID_ALARMLIST_REFRESH:
        view.OnAlarmlistRefresh();
        break;
    case ID_ALARMLIST_FILTER_NEW:
    case ID_ALARMLIST_FILTER_ACKNOWLEDGED:
    case ID_ALARMLIST_FILTER_FINISHED:
    case ID_ALARMLIST_FILTER_INFOALARMS:
        view.OnAlarmlistFilter(FilterBit(command));
        break;
    case ID_ALARMLIST_SETSTATUS_ACKNOWLEDGED:
        view.OnAlarmlistSetStatus(AlarmStatusChange::Acknowledged);
        break;
    case ID_ALARMLIST_SETSTATUS_FINISHED:
        view.OnAlarmlistSetStatus(AlarmStatusChange::Finished);
        break;
    case ID_OPTIONS_UNATTENDED:
        view.OnOptionsUnattended();
        break;
    case ID_OPTIONS_SETTINGS:
        doc.OnOptionsSettings();
        break;
    case ID_OPTIONS_CHANGE_OPERATOR:
        doc.OnChangeOperator();
        break;
    case ID_OPTIONS_SEND_SMS:
        doc.OnSendSms();
        break;
    case ID_APP_EXIT:
        close();
        break;
    case ID_GENERATE_P100_MSG:
        p100Window->ShowWindow();
        break;
    default:
        // A window that other code owns and nobody installed.
        doc.Screen().Beep(BeepKind::Default);
        break;
    }
    // The frame may be closing (Exit); the states are cheap to set anyway.
    UpdateCommandStates();
}

// ---------------------------------------------------------------------------
// Closing

bool CMainFrame::ConfirmClose()
{
    return orvabox::Ask(this, LookupText("IDS_MAINFRM_MSG_1"), QMessageBox::Warning, QMessageBox::Yes | QMessageBox::No,
                        QMessageBox::No) == QMessageBox::Yes;
}

void CMainFrame::CloseWithoutQuestion()
{
    closeWithoutQuestion = true;
    close();
}

void CMainFrame::closeEvent(QCloseEvent* event)
{
    if (closeWithoutQuestion || ConfirmClose())
        event->accept();
    else
        event->ignore();
}
