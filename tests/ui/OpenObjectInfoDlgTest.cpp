// The open list: filling and the count, the preselected object, the search by
// the start of the ID code or ID information, sorting by a column title, and
// Open and Cancel by button, keyboard and double-click.

#include "db/ObjectInfoMsg.h"
#include "db/ObjectInfoReqMsg.h"
#include "ui/OpenObjectInfoDlg.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFontMetrics>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTreeWidget>

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace {

std::unique_ptr<CObjectInfoMsg> Chain(const std::vector<std::pair<std::string, std::string>>& rows)
{
    std::unique_ptr<CObjectInfoMsg> first;
    CObjectInfoMsg* last = nullptr;
    for (const auto& [code, info] : rows) {
        auto record = std::make_unique<CObjectInfoMsg>(DBMSG_OBJECT_INFO);
        record->IdCode = code;
        record->IdInfo = info;
        CObjectInfoMsg* added = record.get();
        if (last == nullptr) {
            record->Result = DBRES_OBJECT_FOUND_ALL;
            first = std::move(record);
        } else {
            last->Next = std::move(record);
        }
        last = added;
    }
    return first;
}

// Rows in reply order; sorted by ID code they read 100001 to 100006.
const std::vector<std::pair<std::string, std::string>> kRows = {
    {"100004", "Abbey Road 2"}, {"100001", "Main Street"}, {"100006", "ab"},
    {"100002", "ABC Lifts"},    {"100005", "Kab"},         {"100003", "Lab Tower"},
};

class OpenObjectInfoDlgTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        delete dialog.data();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    COpenObjectInfoDlg& Open(const std::string& current, std::unique_ptr<CObjectInfoMsg> records)
    {
        dialog = new COpenObjectInfoDlg([this](std::unique_ptr<CMsg> msg) { sent.push_back(std::move(msg)); },
                                        [this](bool opened) { gone = opened; });
        dialog->SetBeep([this] { ++beeps; });
        dialog->Fill(current, std::move(records));
        dialog->show();
        return *dialog;
    }

    template <typename T>
    T* Child(const char* name) const
    {
        T* child = dialog->findChild<T*>(QLatin1String(name));
        EXPECT_NE(child, nullptr) << name;
        return child;
    }
    QPushButton* Button(const char* name) const { return Child<QPushButton>(name); }
    QLineEdit* SearchText() const { return Child<QLineEdit>("SearchText"); }

    std::vector<std::string> Column(int column) const
    {
        std::vector<std::string> texts;
        for (int row = 0; row < dialog->List()->topLevelItemCount(); ++row)
            texts.push_back(dialog->List()->topLevelItem(row)->text(column).toStdString());
        return texts;
    }
    std::string Selected() const
    {
        const QList<QTreeWidgetItem*> rows = dialog->List()->selectedItems();
        return rows.isEmpty() ? std::string() : rows.first()->text(0).toStdString();
    }

    QPointer<COpenObjectInfoDlg> dialog;
    std::vector<std::unique_ptr<CMsg>> sent;
    std::optional<bool> gone;
    int beeps = 0;
};

TEST_F(OpenObjectInfoDlgTest, FillsSortedByIdCodeWithTheCount)
{
    Open("", Chain(kRows));
    EXPECT_EQ(dialog->windowTitle(), "Open");
    EXPECT_EQ(Column(0), (std::vector<std::string>{"100001", "100002", "100003", "100004", "100005", "100006"}));
    EXPECT_EQ(Column(1)[0], "Main Street");
    EXPECT_EQ(Child<QLabel>("IDC_OPEN_OBJECT_INFO_NO_OF_OBJECTS")->text(), "6 Objects");
    EXPECT_TRUE(Child<QRadioButton>("IDC_OPEN_OBJECT_INFO_FIND_ID_CODE")->isChecked());
    EXPECT_GE(dialog->List()->columnWidth(0), 90);
    EXPECT_GE(dialog->List()->columnWidth(1), 350);
    // Nothing preselected: the operator types the search at once.
    EXPECT_EQ(Selected(), "");
    EXPECT_EQ(dialog->focusWidget(), SearchText());
}

// A lift known by its telephone number has a long ID code: it is shown whole.
TEST_F(OpenObjectInfoDlgTest, IdCodeColumnShowsTheLongestCodeWhole)
{
    const std::string longest = "+46705550101234567";
    Open("", Chain({{"100001", "Main Street"}, {longest, "Harbour"}}));
    const QFontMetrics metrics(dialog->List()->font());
    EXPECT_GE(dialog->List()->columnWidth(0), metrics.horizontalAdvance(QString::fromStdString(longest)));
}

TEST_F(OpenObjectInfoDlgTest, EmptyAnswerShowsNoRows)
{
    Open("100003", nullptr);
    EXPECT_EQ(dialog->List()->topLevelItemCount(), 0);
    EXPECT_EQ(Child<QLabel>("IDC_OPEN_OBJECT_INFO_NO_OF_OBJECTS")->text(), "0 Objects");
    EXPECT_EQ(dialog->focusWidget(), SearchText());
}

TEST_F(OpenObjectInfoDlgTest, CurrentIdCodeIsSelectedWithoutABeep)
{
    Open("100003", Chain(kRows));
    EXPECT_EQ(Selected(), "100003");
    EXPECT_EQ(dialog->focusWidget(), dialog->List());
    EXPECT_EQ(dialog->SearchPosition(), 3);

    delete dialog.data();
    Open("999999", Chain(kRows));
    EXPECT_EQ(Selected(), "");
    EXPECT_EQ(dialog->focusWidget(), SearchText());
    EXPECT_EQ(beeps, 0);
}

TEST_F(OpenObjectInfoDlgTest, SearchAbOnIdInfoFindsEachPrefixInAnyCase)
{
    Open("", Chain(kRows));
    Child<QRadioButton>("IDC_OPEN_OBJECT_INFO_FIND_ID_INFO")->setChecked(true);
    SearchText()->setText("  AB ");
    const struct {
        const char* button;
        const char* selected;  // ID code of the row found
        int beeps;
    } steps[] = {
        {"IDC_OPEN_OBJECT_INFO_FIND_FIRST", "100002", 0},  // "ABC Lifts"
        {"IDC_OPEN_OBJECT_INFO_FIND_NEXT", "100004", 0},   // "Abbey Road 2"
        {"IDC_OPEN_OBJECT_INFO_FIND_NEXT", "100006", 0},   // "ab"; "Kab" and "Lab Tower" do not start with it
        {"IDC_OPEN_OBJECT_INFO_FIND_NEXT", "100006", 1},   // the end: a beep
        {"IDC_OPEN_OBJECT_INFO_FIND_FIRST", "100002", 1},  // from the top again
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.button);
        Button(step.button)->click();
        EXPECT_EQ(Selected(), step.selected);
        EXPECT_EQ(beeps, step.beeps);
    }
    EXPECT_EQ(dialog->focusWidget(), dialog->List());
}

TEST_F(OpenObjectInfoDlgTest, SearchOnIdCodeAndWithoutMatch)
{
    Open("", Chain(kRows));
    const struct {
        const char* text;
        const char* selected;
        int beeps;
    } cases[] = {{"10000", "100001", 0}, {"100005", "100005", 0}, {"2000", "", 1}, {"", "100001", 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        dialog->List()->clearSelection();
        beeps = 0;
        SearchText()->setText(c.text);
        dialog->OnFindFirst();
        EXPECT_EQ(Selected(), c.selected);
        EXPECT_EQ(beeps, c.beeps);
    }
}

TEST_F(OpenObjectInfoDlgTest, TitleClickSortsThatColumnAndFlipsItsDirection)
{
    Open("", Chain({{"3", "b"}, {"1", "B"}, {"2", "a"}, {"10", "A"}}));
    EXPECT_EQ(Column(0), (std::vector<std::string>{"1", "10", "2", "3"}));
    const struct {
        int column;
        std::vector<std::string> order;  // ID codes
    } clicks[] = {
        {0, {"3", "2", "10", "1"}},  // ID code, now descending
        {0, {"1", "10", "2", "3"}},  // and back
        {1, {"3", "2", "1", "10"}},  // ID info flips from ascending: b, a, B, A
        {1, {"10", "1", "2", "3"}},  // case-sensitive ascending: A, B, a, b
    };
    for (const auto& click : clicks) {
        QHeaderView* header = dialog->List()->header();
        const QPoint at(header->sectionViewportPosition(click.column) + 5, header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, at);
        EXPECT_EQ(Column(0), click.order);
    }
}

TEST_F(OpenObjectInfoDlgTest, OpenAsksForTheSelectedObjectAndCloses)
{
    Open("100002", Chain(kRows));
    Button("IDC_OPEN_OBJECT_INFO_OPEN")->click();
    ASSERT_EQ(sent.size(), 1u);
    auto* request = dynamic_cast<CObjectInfoReqMsg*>(sent[0].get());
    ASSERT_NE(request, nullptr);
    EXPECT_EQ(request->GetType(), DBMSG_FIND_OBJECT_INFO);
    EXPECT_EQ(request->Kind, OBJECT_KIND_BY_ID);
    EXPECT_EQ(request->Key, "100002");
    EXPECT_EQ(request->ReplyType, DBMSG_OBJECT_INFO);
    EXPECT_EQ(gone, std::optional<bool>(true));
    EXPECT_FALSE(dialog->isVisible());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(dialog.isNull());
}

TEST_F(OpenObjectInfoDlgTest, OpenWithoutSelectionBeeps)
{
    Open("", Chain(kRows));
    Button("IDC_OPEN_OBJECT_INFO_OPEN")->click();
    EXPECT_EQ(beeps, 1);
    EXPECT_TRUE(sent.empty());
    EXPECT_FALSE(gone.has_value());
    EXPECT_TRUE(dialog->isVisible());
}

TEST_F(OpenObjectInfoDlgTest, CancelEscapeAndCloseBoxAskForNothing)
{
    const std::function<void(COpenObjectInfoDlg&)> ways[] = {
        [this](COpenObjectInfoDlg&) { Button("IDC_OPEN_OBJECT_INFO_CANCEL")->click(); },
        [](COpenObjectInfoDlg& d) { QTest::keyClick(d.List(), Qt::Key_Escape); },
        [](COpenObjectInfoDlg& d) { d.close(); },
    };
    for (const auto& way : ways) {
        gone.reset();
        Open("100002", Chain(kRows));
        way(*dialog);
        EXPECT_EQ(gone, std::optional<bool>(false));
        EXPECT_TRUE(sent.empty());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_TRUE(dialog.isNull());
    }
}

TEST_F(OpenObjectInfoDlgTest, KeyboardFindsWithReturnAndOpensWithReturnOnTheList)
{
    Open("", Chain(kRows));
    Child<QRadioButton>("IDC_OPEN_OBJECT_INFO_FIND_ID_INFO")->setChecked(true);
    QLineEdit* search = SearchText();
    search->setFocus();
    QTest::keyClicks(search, "lab");
    QTest::keyClick(search, Qt::Key_Return);
    // Return in the search text searches instead of opening.
    EXPECT_TRUE(sent.empty());
    EXPECT_EQ(Selected(), "100003");
    EXPECT_EQ(dialog->focusWidget(), dialog->List());
    QTest::keyClick(dialog->List(), Qt::Key_Return);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(dynamic_cast<CObjectInfoReqMsg*>(sent[0].get())->Key, "100003");
    EXPECT_EQ(gone, std::optional<bool>(true));
}

TEST_F(OpenObjectInfoDlgTest, DoubleClickOpensTheRow)
{
    Open("", Chain(kRows));
    QTreeWidget* list = dialog->List();
    QTreeWidgetItem* row = list->topLevelItem(4);
    const QRect rect = list->visualItemRect(row);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, rect.center());
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, rect.center());
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(dynamic_cast<CObjectInfoReqMsg*>(sent[0].get())->Key, "100005");
}

}  // namespace
