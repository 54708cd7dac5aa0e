#include "core/StrList.h"

#include <gtest/gtest.h>

namespace {

TEST(StrList, IteratesCopiesInOrderAndEndsWithNothing)
{
    CStrList list;
    EXPECT_EQ(list.GetNext(), nullptr);
    std::string source = "first@example.org";
    list.Add(source);
    list.Add("second@example.org");
    source = "changed";  // the list holds its own copy

    EXPECT_EQ(list.GetCount(), 2u);
    ASSERT_NE(list.GetNext(), nullptr);
    list.Rewind();
    EXPECT_EQ(*list.GetNext(), "first@example.org");
    EXPECT_EQ(*list.GetNext(), "second@example.org");
    EXPECT_EQ(list.GetNext(), nullptr);
    EXPECT_EQ(list.GetNext(), nullptr);
}

TEST(StrList, RemoveAllEmptiesAndResetsTheCursor)
{
    CStrList list;
    for (int i = 0; i < 25; ++i)
        list.Add(std::to_string(i));
    list.GetNext();
    list.GetNext();
    list.RemoveAll();
    EXPECT_EQ(list.GetCount(), 0u);
    EXPECT_EQ(list.GetNext(), nullptr);
    list.Add("again");
    ASSERT_NE(list.GetNext(), nullptr);
}

}  // namespace
