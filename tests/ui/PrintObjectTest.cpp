// The page store of the print-out: 50 lines a page, filled in order.

#include "ui/PrintObject.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct PageCase {
    int lines;
    std::vector<std::size_t> perPage;
};

class PrintObjectTest : public ::testing::TestWithParam<PageCase> {};

TEST_P(PrintObjectTest, FillsPagesOfFiftyLinesInOrder)
{
    CPrintObject store;
    for (int i = 0; i < GetParam().lines; ++i)
        store.AddLine("line " + std::to_string(i));
    ASSERT_EQ(store.GetPageCount(), static_cast<int>(GetParam().perPage.size()));
    int next = 0;
    for (int page = 1; page <= store.GetPageCount(); ++page) {
        const CPrintPage* each = store.GetPage(page);
        ASSERT_NE(each, nullptr);
        EXPECT_EQ(each->GetLineCount(), GetParam().perPage[static_cast<std::size_t>(page - 1)]) << "page " << page;
        for (const CPrintLine& line : each->GetLines())
            EXPECT_EQ(line.GetText(), "line " + std::to_string(next++));
    }
    EXPECT_EQ(store.GetPage(0), nullptr);
    EXPECT_EQ(store.GetPage(store.GetPageCount() + 1), nullptr);
    store.RemoveAll();
    EXPECT_EQ(store.GetPageCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(Lines, PrintObjectTest,
                         ::testing::Values(PageCase{0, {}}, PageCase{1, {1}}, PageCase{50, {50}}, PageCase{51, {50, 1}},
                                           PageCase{100, {50, 50}}, PageCase{101, {50, 50, 1}}),
                         [](const auto& info) { return "Lines" + std::to_string(info.param.lines); });

}  // namespace
