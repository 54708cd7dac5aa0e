#include "BoxAnswerer.h"
#include "CellFit.h"
#include "ui/SystemInformationDlg.h"

#include "dictionary/Dictionary.h"
#include "support/TempDir.h"
#include "ui/MessagePanel.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <fstream>
#include <string>
#include <vector>

namespace {

std::vector<std::string> ReadLines(const std::string& path)
{
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

class SystemInformationDlgTest : public ::testing::Test {
protected:
    SystemInformationDlgTest() { dir.WorkIn(); }
    TempDir dir;
};

TEST_F(SystemInformationDlgTest, IsBuiltHiddenWithItsHeaderAndColumns)
{
    CSystemInformationDlg panel(nullptr, false);
    EXPECT_FALSE(panel.isVisible());
    EXPECT_FALSE(panel.isModal());
    EXPECT_EQ(panel.windowTitle(), "System Information");
    EXPECT_EQ(panel.Header()->Text(), "SYSTEM INFORMATION");
    EXPECT_EQ(panel.Header()->BkColor(), QColor(255, 0, 0));
    QTreeWidget* list = panel.List();
    EXPECT_EQ(list->headerItem()->text(0), "Information");
    EXPECT_EQ(list->headerItem()->text(1), "Time");
    // The usual widths, wider only where the font needs it.
    EXPECT_GE(list->columnWidth(0), 550);
    EXPECT_GE(list->columnWidth(1), 110);
    EXPECT_EQ(list->selectionMode(), QAbstractItemView::SingleSelection);
}

// The titles and a whole time are shown in every language, also with a large
// font.
using cellfit::FitCase;

class SystemInformationFitTest : public SystemInformationDlgTest, public ::testing::WithParamInterface<FitCase> {
protected:
    cellfit::ScopedFitCase fit{GetParam()};
};

TEST_P(SystemInformationFitTest, TitlesAndTimesAreShownWhole)
{
    CSystemInformationDlg panel(nullptr, false);
    panel.AddSystemInfo("Mail: Idle", false);
    QTreeWidget& list = *panel.List();
    QTreeWidgetItem* row = list.topLevelItem(0);
    for (const QDateTime& time :
         {QDateTime(QDate(2026, 12, 10), QTime(12, 28, 48)), QDateTime(QDate(2088, 8, 28), QTime(20, 58, 58))}) {
        row->setText(1, CSystemInformationDlg::FormatTime(time));
        EXPECT_FALSE(cellfit::CellTextCut(list, row, 1))
            << GetParam().language << ": " << row->text(1).toStdString() << " in " << list.columnWidth(1) << " pixels";
    }
    for (int column = 0; column < 2; ++column)
        EXPECT_FALSE(cellfit::TitleCut(list, column)) << GetParam().language << ": " << column;
    EXPECT_GE(panel.Header()->minimumSizeHint().width(),
              QFontMetrics(panel.Header()->font()).horizontalAdvance(panel.Header()->Text()));
}

// A long line (a French one is easily 660 pixels) widens its column, so it
// is read whole (scrolled sideways on a narrow screen); a short one leaves
// the width alone.
TEST_P(SystemInformationFitTest, ALongLineWidensItsColumn)
{
    CSystemInformationDlg panel(nullptr, false);
    QTreeWidget& list = *panel.List();
    const int usual = list.columnWidth(0);
    panel.AddSystemInfo("Mail: Idle", false);
    EXPECT_EQ(list.columnWidth(0), usual);
    panel.AddSystemInfo("Aucune sortie audio disponible : le carillon d'alarme ne peut pas être entendu, "
                        "les alarmes ne font qu'un bip.",
                        false);
    EXPECT_GT(list.columnWidth(0), usual);
    EXPECT_FALSE(cellfit::CellTextCut(list, list.topLevelItem(0), 0)) << list.columnWidth(0) << " pixels";
}

INSTANTIATE_TEST_SUITE_P(Languages, SystemInformationFitTest, ::testing::ValuesIn(cellfit::kFitCases),
                         [](const auto& info) { return cellfit::FitCaseName(info.param); });

TEST_F(SystemInformationDlgTest, The201stLinePushesTheOldestOut)
{
    CSystemInformationDlg panel(nullptr, false);
    for (int i = 1; i <= 201; ++i)
        panel.AddSystemInfo("line " + std::to_string(i), false);

    QTreeWidget* list = panel.List();
    ASSERT_EQ(list->topLevelItemCount(), 200);
    EXPECT_EQ(list->topLevelItem(0)->text(0), "line 201");
    EXPECT_EQ(list->topLevelItem(199)->text(0), "line 2");
    EXPECT_FALSE(panel.isVisible());
    EXPECT_EQ(panel.BeepCount(), 0);
}

TEST_F(SystemInformationDlgTest, PopUpLineShowsTheHiddenPanelWithABeep)
{
    CSystemInformationDlg panel(nullptr, false);
    panel.AddSystemInfo("quiet", false);
    EXPECT_FALSE(panel.isVisible());

    panel.AddSystemInfo("Unable to open the serial port", true);
    EXPECT_TRUE(panel.isVisible());
    EXPECT_EQ(panel.BeepCount(), 1);
    EXPECT_EQ(panel.List()->topLevelItem(0)->text(0), "Unable to open the serial port");

    // Close hides; the rows stay
    QTest::mouseClick(panel.CloseButton(), Qt::LeftButton);
    EXPECT_FALSE(panel.isVisible());
    EXPECT_EQ(panel.List()->topLevelItemCount(), 2);
}

TEST_F(SystemInformationDlgTest, TimeIsYearMonthDayTwoBlanksAndTime)
{
    EXPECT_EQ(CSystemInformationDlg::FormatTime(QDateTime(QDate(2024, 3, 5), QTime(14, 7, 9))), "24-03-05  14:07:09");
}

TEST_F(SystemInformationDlgTest, ClearOnEmptyBeepsWithoutAQuestion)
{
    CSystemInformationDlg panel(nullptr, false);
    BoxAnswerer answerer(QMessageBox::Yes);
    panel.OnClear();
    EXPECT_TRUE(answerer.asked.empty());
    EXPECT_EQ(panel.BeepCount(), 1);
}

TEST_F(SystemInformationDlgTest, ClearAsksAndOnlyYesDeletes)
{
    CSystemInformationDlg panel(nullptr, false);
    panel.AddSystemInfo("one", false);
    panel.AddSystemInfo("two", false);
    {
        BoxAnswerer answerer(QMessageBox::No);
        panel.OnClear();
        EXPECT_EQ(answerer.asked, std::vector<std::string>{"Delete All Items?"});
        EXPECT_EQ(panel.List()->topLevelItemCount(), 2);
    }
    {
        BoxAnswerer answerer(QMessageBox::Yes);
        panel.OnClear();
        EXPECT_EQ(answerer.asked.size(), 1u);
        EXPECT_EQ(panel.List()->topLevelItemCount(), 0);
    }
    EXPECT_EQ(panel.BeepCount(), 0);
}

TEST_F(SystemInformationDlgTest, DeleteRemovesTheSelectedRowOrBeeps)
{
    CSystemInformationDlg panel(nullptr, false);
    panel.AddSystemInfo("one", false);
    panel.AddSystemInfo("two", false);

    panel.OnDelete();
    EXPECT_EQ(panel.BeepCount(), 1);
    EXPECT_EQ(panel.List()->topLevelItemCount(), 2);

    panel.List()->topLevelItem(1)->setSelected(true);
    panel.OnDelete();
    ASSERT_EQ(panel.List()->topLevelItemCount(), 1);
    EXPECT_EQ(panel.List()->topLevelItem(0)->text(0), "two");
}

TEST_F(SystemInformationDlgTest, LogHoldsStartUpLinesAndShutdownNewestFirst)
{
    {
        CSystemInformationDlg panel;
        panel.AddSystemInfo("GSM: PIN error", false);
    }
    const std::vector<std::string> lines = ReadLines(dir / "SystemInfo.log");
    ASSERT_EQ(lines.size(), 3u);
    const auto endsWith = [](const std::string& line, const std::string& tail) {
        return line.size() >= tail.size() && line.compare(line.size() - tail.size(), tail.size(), tail) == 0;
    };
    EXPECT_TRUE(endsWith(lines[0], "SysInfo: Shutdown")) << lines[0];
    EXPECT_TRUE(endsWith(lines[1], "SysInfo: GSM: PIN error")) << lines[1];
    EXPECT_TRUE(endsWith(lines[2], "SysInfo: Startup - Ver. 2.72")) << lines[2];
}

TEST_F(SystemInformationDlgTest, NoLogFileWhenAskedNotToWriteOne)
{
    {
        CSystemInformationDlg panel(nullptr, false);
        panel.AddSystemInfo("x", false);
    }
    EXPECT_FALSE(std::ifstream(dir / "SystemInfo.log").good());
}

}  // namespace
