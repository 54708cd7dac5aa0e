#include "ui/WindowProbe.h"

#include <QAbstractButton>
#include <QAbstractItemModel>
#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFontMetrics>
#include <QGroupBox>
#include <QHeaderView>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QSaveFile>
#include <QStatusBar>
#include <QStyle>
#include <QStyleOptionHeader>
#include <QTabBar>
#include <QTableView>
#include <QTextEdit>
#include <QTreeView>

#include <cstdlib>

namespace {

constexpr int kIntervalMs = 500;
constexpr int kMaxRows = 200;  // a long list is judged by its first rows

QJsonArray Rect(const QRect& r)
{
    return QJsonArray{r.x(), r.y(), r.width(), r.height()};
}

// "CMainFrame/QStatusBar/QLabel#pane1": the widget's place below its window.
QString PathOf(const QWidget* widget)
{
    QStringList parts;
    for (const QWidget* w = widget; w != nullptr; w = w->parentWidget()) {
        QString part = QString::fromLatin1(w->metaObject()->className());
        if (!w->objectName().isEmpty())
            part += QLatin1Char('#') + w->objectName();
        parts.prepend(part);
        if (w->isWindow())
            break;
    }
    return parts.join(QLatin1Char('/'));
}

void AddText(QJsonArray& texts, const QString& where, const QString& kind, const QString& text)
{
    if (text.isEmpty())
        return;
    texts.append(
        QJsonObject{{QStringLiteral("widget"), where}, {QStringLiteral("kind"), kind}, {QStringLiteral("text"), text}});
}

void AddMenuTexts(QJsonArray& texts, const QString& where, const QMenu* menu)
{
    AddText(texts, where, QStringLiteral("menu"), menu->title());
    for (const QAction* action : menu->actions()) {
        if (action->isSeparator())
            continue;
        if (action->menu() != nullptr)
            AddMenuTexts(texts, where, action->menu());
        else
            AddText(texts, where, QStringLiteral("menu item"), action->text());
    }
}

// The width the header's style needs for the section's title, as the header
// itself measures it (bold, margins, sort mark).
int TitleNeeds(const QHeaderView* header, int logical)
{
    QStyleOptionHeader option;
    option.initFrom(header);
    option.section = logical;
    option.orientation = header->orientation();
    option.text = header->model()->headerData(logical, header->orientation(), Qt::DisplayRole).toString();
    QFont font = header->font();
    const QVariant fontData = header->model()->headerData(logical, header->orientation(), Qt::FontRole);
    if (fontData.canConvert<QFont>())
        font = qvariant_cast<QFont>(fontData);
    font.setBold(true);
    option.fontMetrics = QFontMetrics(font);
    if (header->isSortIndicatorShown())
        option.sortIndicator = QStyleOptionHeader::SortDown;
    const QVariant icon = header->model()->headerData(logical, header->orientation(), Qt::DecorationRole);
    if (icon.isValid())
        option.icon = qvariant_cast<QIcon>(icon);
    return header->style()->sizeFromContents(QStyle::CT_HeaderSection, &option, QSize(), header).width();
}

// Each column of a list: its title, width, and the texts it cuts short.
QJsonObject DescribeColumns(const QAbstractItemView* view, const QHeaderView* header, const QString& where)
{
    QJsonArray columns;
    const QAbstractItemModel* model = view->model();
    const auto* tree = qobject_cast<const QTreeView*>(view);
    for (int visual = 0; visual < header->count(); ++visual) {
        const int logical = header->logicalIndex(visual);
        if (header->isSectionHidden(logical))
            continue;
        const int width = header->sectionSize(logical);
        const QString title = model->headerData(logical, Qt::Horizontal, Qt::DisplayRole).toString();
        const int titleNeeds = TitleNeeds(header, logical);
        // The first column of a tree gives room to the branch marks.
        int room = width;
        if (tree != nullptr && visual == 0 && tree->rootIsDecorated())
            room -= tree->indentation();
        QJsonArray cut;
        const int rows = std::min(model->rowCount(), kMaxRows);
        for (int row = 0; row < rows; ++row) {
            const QModelIndex index = model->index(row, logical);
            const QString text = index.data(Qt::DisplayRole).toString();
            if (text.isEmpty())
                continue;
            const int needs = view->sizeHintForIndex(index).width();
            if (needs > room)
                cut.append(QJsonObject{
                    {QStringLiteral("row"), row}, {QStringLiteral("text"), text}, {QStringLiteral("needs"), needs}});
        }
        columns.append(QJsonObject{{QStringLiteral("column"), logical},
                                   {QStringLiteral("title"), title},
                                   {QStringLiteral("width"), width},
                                   {QStringLiteral("room"), room},
                                   {QStringLiteral("titleNeeds"), titleNeeds},
                                   {QStringLiteral("titleCut"), header->isVisible() && titleNeeds > width},
                                   {QStringLiteral("cut"), cut}});
    }
    return QJsonObject{{QStringLiteral("widget"), where},
                       {QStringLiteral("rows"), view->model()->rowCount()},
                       {QStringLiteral("columns"), columns}};
}

void DescribeWidget(const QWidget* widget, QJsonArray& texts, QJsonArray& lists)
{
    const QString where = PathOf(widget);
    if (const auto* label = qobject_cast<const QLabel*>(widget))
        AddText(texts, where, QStringLiteral("label"), label->text());
    else if (const auto* button = qobject_cast<const QAbstractButton*>(widget))
        AddText(texts, where, QStringLiteral("button"), button->text());
    else if (const auto* group = qobject_cast<const QGroupBox*>(widget))
        AddText(texts, where, QStringLiteral("group"), group->title());
    else if (const auto* line = qobject_cast<const QLineEdit*>(widget)) {
        AddText(texts, where, QStringLiteral("field"), line->text());
        AddText(texts, where, QStringLiteral("placeholder"), line->placeholderText());
    } else if (const auto* edit = qobject_cast<const QTextEdit*>(widget))
        AddText(texts, where, QStringLiteral("text"), edit->toPlainText());
    else if (const auto* plain = qobject_cast<const QPlainTextEdit*>(widget))
        AddText(texts, where, QStringLiteral("text"), plain->toPlainText());
    else if (const auto* combo = qobject_cast<const QComboBox*>(widget)) {
        for (int i = 0; i < combo->count(); ++i)
            AddText(texts, where, QStringLiteral("choice"), combo->itemText(i));
    } else if (const auto* tabs = qobject_cast<const QTabBar*>(widget)) {
        for (int i = 0; i < tabs->count(); ++i)
            AddText(texts, where, QStringLiteral("tab"), tabs->tabText(i));
    } else if (const auto* bar = qobject_cast<const QMenuBar*>(widget)) {
        for (const QAction* action : bar->actions()) {
            if (action->menu() != nullptr)
                AddMenuTexts(texts, where, action->menu());
            else
                AddText(texts, where, QStringLiteral("menu"), action->text());
        }
    } else if (const auto* status = qobject_cast<const QStatusBar*>(widget))
        AddText(texts, where, QStringLiteral("status"), status->currentMessage());

    const auto* view = qobject_cast<const QAbstractItemView*>(widget);
    if (view == nullptr || view->model() == nullptr)
        return;
    const QHeaderView* header = nullptr;
    if (const auto* tree = qobject_cast<const QTreeView*>(view))
        header = tree->header();
    else if (const auto* table = qobject_cast<const QTableView*>(view))
        header = table->horizontalHeader();
    const QAbstractItemModel* model = view->model();
    const int columnCount = model->columnCount();
    if (header != nullptr && header->isVisible()) {
        for (int column = 0; column < columnCount; ++column)
            AddText(texts, where, QStringLiteral("column title"),
                    model->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString());
    }
    const int rows = std::min(model->rowCount(), kMaxRows);
    for (int row = 0; row < rows; ++row) {
        for (int column = 0; column < columnCount; ++column)
            AddText(texts, where, QStringLiteral("cell"), model->index(row, column).data(Qt::DisplayRole).toString());
    }
    if (header != nullptr)
        lists.append(DescribeColumns(view, header, where));
}

QJsonObject DescribeWindow(const QWidget* window)
{
    QJsonArray texts;
    QJsonArray lists;
    AddText(texts, PathOf(window), QStringLiteral("title"), window->windowTitle());
    QList<const QWidget*> widgets{window};
    for (const QWidget* child : window->findChildren<const QWidget*>()) {
        // A child window (a dialog owned by this one) is described on its own.
        if (child->window() == window)
            widgets.append(child);
    }
    for (const QWidget* widget : widgets) {
        // The menu bar's menus are closed popups; their texts count all the same.
        if (widget->isVisible() || qobject_cast<const QMenuBar*>(widget) != nullptr)
            DescribeWidget(widget, texts, lists);
    }
    const QWidget* focus = QApplication::focusWidget();
    return QJsonObject{
        {QStringLiteral("class"), QString::fromLatin1(window->metaObject()->className())},
        {QStringLiteral("objectName"), window->objectName()},
        {QStringLiteral("title"), window->windowTitle()},
        {QStringLiteral("winId"), static_cast<qint64>(window->internalWinId())},
        {QStringLiteral("visible"), window->isVisible()},
        {QStringLiteral("minimized"), window->isMinimized()},
        {QStringLiteral("active"), window->isActiveWindow()},
        {QStringLiteral("modal"), window->isModal()},
        {QStringLiteral("owner"),
         window->parentWidget() != nullptr ? PathOf(window->parentWidget()->window()) : QString()},
        {QStringLiteral("geometry"), Rect(window->geometry())},
        {QStringLiteral("frame"), Rect(window->frameGeometry())},
        {QStringLiteral("focus"), focus != nullptr && focus->window() == window ? PathOf(focus) : QString()},
        {QStringLiteral("texts"), texts},
        {QStringLiteral("lists"), lists},
    };
}

}  // namespace

void CWindowProbe::InstallFromEnvironment()
{
    const char* path = std::getenv("ORVA_WINDOW_PROBE");
    if (path == nullptr || *path == '\0' || qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr)
        return;
    new CWindowProbe(QString::fromLocal8Bit(path), QCoreApplication::instance());
}

CWindowProbe::CWindowProbe(QString probePath, QObject* parent) : QObject(parent), path(std::move(probePath))
{
    timer.setInterval(kIntervalMs);
    connect(&timer, &QTimer::timeout, this, [this] { Tick(); });
    timer.start();
}

QJsonObject CWindowProbe::Describe()
{
    QJsonArray windows;
    for (const QWidget* widget : QApplication::topLevelWidgets()) {
        // Menus and tool tips are popups of a window, described with it.
        if (!widget->isWindow() || widget->windowType() == Qt::Popup || widget->windowType() == Qt::ToolTip ||
            widget->windowType() == Qt::Desktop)
            continue;
        windows.append(DescribeWindow(widget));
    }
    const QWidget* active = QApplication::activeWindow();
    return QJsonObject{
        {QStringLiteral("pid"), static_cast<qint64>(QCoreApplication::applicationPid())},
        {QStringLiteral("activeWindow"), active != nullptr ? static_cast<qint64>(active->internalWinId()) : qint64(0)},
        {QStringLiteral("windows"), windows}};
}

void CWindowProbe::Tick()
{
    Write();
    QFile request(path + QStringLiteral(".grab"));
    if (!request.exists() || !request.open(QIODevice::ReadOnly))
        return;
    const QString folder = QString::fromUtf8(request.readAll()).trimmed();
    request.close();
    Picture(folder);
    request.remove();
}

bool CWindowProbe::Picture(const QString& folder)
{
    bool ok = QDir().mkpath(folder);
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (!widget->isWindow() || !widget->isVisible() || widget->windowType() == Qt::Popup ||
            widget->windowType() == Qt::ToolTip || widget->windowType() == Qt::Desktop)
            continue;
        const QString name = QStringLiteral("%1.png").arg(widget->internalWinId(), 0, 16);
        ok = widget->grab().save(QDir(folder).filePath(name), "PNG") && ok;
    }
    return ok;
}

bool CWindowProbe::Write() const
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(QJsonDocument(Describe()).toJson(QJsonDocument::Indented));
    return file.commit();
}
