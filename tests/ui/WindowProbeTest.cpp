// The description of the windows that the screenshot check reads: the texts
// a window shows, whether its lists cut a title or a text short, and what it
// leaves out (hidden widgets, windows owned by another).

#include "ui/WindowProbe.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QHeaderView>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QMainWindow>
#include <QMenuBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <memory>

namespace {

QJsonObject WindowTitled(const QJsonObject& description, const QString& title)
{
    for (const QJsonValue& window : description[QStringLiteral("windows")].toArray()) {
        if (window[QStringLiteral("title")].toString() == title)
            return window.toObject();
    }
    return {};
}

QStringList Texts(const QJsonObject& window)
{
    QStringList texts;
    for (const QJsonValue& text : window[QStringLiteral("texts")].toArray())
        texts.append(text[QStringLiteral("text")].toString());
    return texts;
}

QJsonObject Column(const QJsonObject& window, int column)
{
    const QJsonArray lists = window[QStringLiteral("lists")].toArray();
    if (lists.isEmpty())
        return {};
    for (const QJsonValue& c : lists[0][QStringLiteral("columns")].toArray()) {
        if (c[QStringLiteral("column")].toInt() == column)
            return c.toObject();
    }
    return {};
}

class WindowProbeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        window = std::make_unique<QDialog>();
        window->setWindowTitle(QStringLiteral("Probe window"));
        auto* layout = new QVBoxLayout(window.get());
        auto* label = new QLabel(QStringLiteral("*NA*"), window.get());
        layout->addWidget(label);
        auto* button = new QPushButton(QStringLiteral("&Close"), window.get());
        layout->addWidget(button);
        hidden = new QLabel(QStringLiteral("hidden text"), window.get());
        layout->addWidget(hidden);
        hidden->hide();
        list = new QTreeWidget(window.get());
        list->setRootIsDecorated(false);
        list->setHeaderLabels({QStringLiteral("Date/Time"), QStringLiteral("Text")});
        auto* row = new QTreeWidgetItem(list);
        row->setText(0, QStringLiteral("26-12-10  12:24:59"));
        row->setText(1, QStringLiteral("x"));
        layout->addWidget(list);
        window->resize(600, 400);
        window->show();
        QApplication::processEvents();
    }

    QJsonObject Describe() { return WindowTitled(CWindowProbe::Describe(), QStringLiteral("Probe window")); }

    std::unique_ptr<QDialog> window;
    QLabel* hidden = nullptr;
    QTreeWidget* list = nullptr;
};

TEST_F(WindowProbeTest, ListsTheTextsOfVisibleWidgetsOnly)
{
    const QJsonObject described = Describe();
    ASSERT_FALSE(described.isEmpty());
    EXPECT_TRUE(described[QStringLiteral("visible")].toBool());
    const QStringList texts = Texts(described);
    for (const char* shown : {"Probe window", "*NA*", "&Close", "Date/Time", "Text", "26-12-10  12:24:59"})
        EXPECT_TRUE(texts.contains(QString::fromLatin1(shown))) << shown;
    EXPECT_FALSE(texts.contains(QStringLiteral("hidden text")));
}

// Widths around what the texts need: a column is judged cut exactly when the
// list would draw it with an ellipsis.
TEST_F(WindowProbeTest, TellsWhichColumnsCutTheirTitleOrTexts)
{
    list->header()->setStretchLastSection(false);
    list->resizeColumnToContents(0);
    const int fits = list->columnWidth(0);
    struct Case {
        const char* name;
        int width;
        bool textCut;
    };
    const Case cases[] = {
        {"as wide as the contents", fits, false},
        {"wider", fits + 40, false},
        {"a few pixels short", fits - 4, true},
        {"far too narrow", 40, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        list->setColumnWidth(0, c.width);
        QApplication::processEvents();
        const QJsonObject column = Column(Describe(), 0);
        ASSERT_FALSE(column.isEmpty());
        EXPECT_EQ(column[QStringLiteral("width")].toInt(), c.width);
        const QJsonArray cut = column[QStringLiteral("cut")].toArray();
        EXPECT_EQ(!cut.isEmpty(), c.textCut);
        if (!cut.isEmpty()) {
            EXPECT_EQ(cut[0][QStringLiteral("text")].toString(), QStringLiteral("26-12-10  12:24:59"));
        }
    }
    // The title "Date/Time" is shorter than the date; at 40 pixels it is cut too.
    EXPECT_TRUE(Column(Describe(), 0)[QStringLiteral("titleCut")].toBool());
    list->setColumnWidth(0, fits);
    EXPECT_FALSE(Column(Describe(), 0)[QStringLiteral("titleCut")].toBool());
}

TEST_F(WindowProbeTest, ClosedMenusCountAsShownTexts)
{
    QMainWindow main;
    main.setWindowTitle(QStringLiteral("Probe main"));
    QMenu* menu = main.menuBar()->addMenu(QStringLiteral("&Options"));
    menu->addAction(QStringLiteral("*NA*"));
    main.show();
    QApplication::processEvents();
    const QStringList texts = Texts(WindowTitled(CWindowProbe::Describe(), QStringLiteral("Probe main")));
    EXPECT_TRUE(texts.contains(QStringLiteral("&Options")));
    EXPECT_TRUE(texts.contains(QStringLiteral("*NA*")));
}

TEST_F(WindowProbeTest, WritesTheDescriptionAndPicturesToFiles)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    CWindowProbe probe(folder.filePath(QStringLiteral("windows.json")), nullptr);
    ASSERT_TRUE(probe.Write());
    QFile file(folder.filePath(QStringLiteral("windows.json")));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QJsonObject read = QJsonDocument::fromJson(file.readAll()).object();
    EXPECT_FALSE(WindowTitled(read, QStringLiteral("Probe window")).isEmpty());

    ASSERT_TRUE(CWindowProbe::Picture(folder.filePath(QStringLiteral("pictures"))));
    const QString picture = QStringLiteral("pictures/%1.png").arg(window->internalWinId(), 0, 16);
    EXPECT_TRUE(QFile::exists(folder.filePath(picture))) << picture.toStdString();
}

}  // namespace
