// The records that travel between threads: initial values, the split of long
// texts over two columns, and chains of records.

#include "db/ObjectInfoMsg.h"
#include "db/Utf8Text.h"
#include "messages/AlarmInfoMsg.h"
#include "messages/AlarmInfoReqMsg.h"

#include <gtest/gtest.h>

#include <string>

TEST(Records, NewAlarmRecordIsEmpty)
{
    CAlarmInfoMsg alarm;
    EXPECT_EQ(alarm.GetType(), DBMSG_ALARM_INFO);
    EXPECT_EQ(alarm.PrimaryKey, 0u);
    EXPECT_EQ(alarm.ObjectKnown, 0);
    EXPECT_TRUE(alarm.AlarmTime.IsValid());
    EXPECT_EQ(alarm.AlarmTime.m_dt, 0.0);
    EXPECT_TRUE(alarm.Text.IsEmpty());

    CAlarmInfoReqMsg request;
    EXPECT_EQ(request.StatusMask, 15);
    EXPECT_EQ(request.MaxCount, 0u);
}

TEST(Records, EmergencyTypesAreThreeEightAndEleven)
{
    for (uint8_t type = 0; type < 14; ++type)
        EXPECT_EQ(IsEmergencyAlarmType(type), type == 3 || type == 8 || type == 11) << int(type);
}

TEST(Records, LongTextSplitsAt255Characters)
{
    struct Case {
        size_t length;
        size_t first;
        size_t second;
    };
    for (const Case& c :
         {Case{0, 0, 0}, Case{255, 255, 0}, Case{256, 255, 1}, Case{510, 255, 255}, Case{600, 255, 255}}) {
        std::string text;
        for (size_t i = 0; i < c.length; ++i)
            text += static_cast<char>('a' + i % 26);
        std::string first, second;
        Utf8Text::Split(text, first, second);
        EXPECT_EQ(first.size(), c.first) << c.length;
        EXPECT_EQ(second.size(), c.second) << c.length;
        EXPECT_EQ(Utf8Text::Join(first, second), text.substr(0, 510));
    }
}

TEST(Records, SplitNeverCutsACharacter)
{
    // 254 ASCII characters, then "ä" (two bytes) and "ö": the first column
    // ends after "ä", the second starts with "ö".
    const std::string text = std::string(254, 'x') + "\xC3\xA4\xC3\xB6";
    std::string first, second;
    Utf8Text::Split(text, first, second);
    EXPECT_EQ(first, std::string(254, 'x') + "\xC3\xA4");
    EXPECT_EQ(second, "\xC3\xB6");
}

TEST(Records, ObjectOwnsItsCustomerAndAlarmChainsCanBeLong)
{
    auto object = std::make_unique<CObjectInfoMsg>(DBMSG_OBJECT_INFO);
    object->CustomerRecord = std::make_unique<CCustomerInfoMsg>(DBMSG_CUSTOMER_INFO);
    object.reset();  // the sanitizer reports a leak otherwise

    // A reply of a hundred thousand records is destroyed through its first one.
    auto first = std::make_unique<CAlarmInfoMsg>();
    CAlarmInfoMsg* last = first.get();
    for (int i = 0; i < 100000; ++i) {
        last->Next = std::make_unique<CAlarmInfoMsg>();
        last = last->NextAlarm();
    }
    first.reset();
}
