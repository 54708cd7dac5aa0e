// The requests that the windows send through the document: every request
// type with its results and reply types, on a real database file.

#include "DbTestSupport.h"

#include "db/CustomerInfoMsg.h"
#include "db/CustomerInfoReqMsg.h"
#include "db/DbAlarmInfo.h"
#include "db/MailInfoMsg.h"
#include "db/MailInfoReqMsg.h"
#include "db/ObjectInfoMsg.h"
#include "db/ObjectInfoReqMsg.h"
#include "db/SmsNumInfoMsg.h"
#include "db/SmsNumInfoReqMsg.h"
#include "messages/AlarmInfoReqMsg.h"

#include <functional>

namespace {

std::unique_ptr<CObjectInfoMsg> NewObject(const std::string& idCode, const std::string& phone = {},
                                          uint16_t type = DBMSG_ADD_OBJECT_INFO)
{
    auto object = std::make_unique<CObjectInfoMsg>(type);
    object->IdCode = idCode;
    object->PhoneNumber = phone;
    object->IdInfo = "Lift " + idCode;
    object->Address = "Storgatan 1";
    object->Days = 7;
    object->LastTestAlarm = COleDateTime(2024, 1, 2, 3, 4, 5);
    object->TestAlarmOnly = 0;
    object->AlarmPopUpEnabled = 1;
    object->MailAddrTech = "tech@example.com";
    object->SmsNumTech = "+46700000001";
    object->MailAddrEmg = "emg@example.com";
    object->SmsNumEmg = "+46700000002";
    object->ElevatorType = "Hydraulic";
    object->Customer = "ACME";
    object->Notes = "Key at the reception";
    return object;
}

std::unique_ptr<CObjectInfoReqMsg> ObjectRequest(uint16_t type, int32_t kind, const std::string& key,
                                                 uint16_t replyType = DBMSG_OBJECT_INFO)
{
    auto request = std::make_unique<CObjectInfoReqMsg>(type);
    request->Kind = kind;
    request->Key = key;
    request->ReplyType = replyType;
    return request;
}

size_t ChainLength(const CMsg* msg)
{
    size_t length = 0;
    for (; msg != nullptr; msg = msg->Next.get())
        ++length;
    return length;
}

}  // namespace

class DbRequestTest : public HandlerFixture {
protected:
    // Runs the request and returns the one reply it posted.
    template <typename T = CDatabaseMsg>
    std::unique_ptr<T> Run(std::unique_ptr<CMsg> request)
    {
        handler.ExecuteRequest(std::move(request));
        EXPECT_EQ(owner.Count(), 1u);
        return owner.TakeAs<T>();
    }

    uint16_t ResultOf(std::unique_ptr<CMsg> request)
    {
        auto reply = Run(std::move(request));
        return reply ? reply->Result : 0xFFFF;
    }

    void Drop(const char* table)
    {
        database.Execute(QStringLiteral("DROP TABLE \"%1\"").arg(QString::fromLatin1(table)));
    }

    uint32_t StoreAlarm(uint8_t status, COleDateTime time, const std::string& idCode = "12345678",
                        uint8_t type = ALARMTYPE_P100)
    {
        CDbAlarmInfo table;
        table.Attach(&handler, &database);
        CAlarmInfoMsg alarm;
        alarm.IdCode = idCode;
        alarm.AlarmType = type;
        alarm.AlarmSource = ALARMSOURCE_TEL;
        alarm.AlarmStatus = status;
        alarm.AlarmTime = time;
        alarm.Text.SetText("text");
        EXPECT_EQ(table.AddAlarmInfo(alarm)->Result, DBRES_ALARM_ADDED);
        return alarm.PrimaryKey;
    }
};

TEST_F(DbRequestTest, ObjectAddFindEditDelete)
{
    EXPECT_EQ(ResultOf(NewObject("12345678", "+4611111")), DBRES_OBJECT_ADDED);
    EXPECT_EQ(ResultOf(NewObject("12345678")), DBRES_OBJECT_ID_EXISTS);
    EXPECT_EQ(ResultOf(NewObject("87654321", "+4611111")), DBRES_OBJECT_PHONE_EXISTS);
    // Objects without a telephone number do not collide on the empty number.
    EXPECT_EQ(ResultOf(NewObject("87654321")), DBRES_OBJECT_ADDED);
    EXPECT_EQ(ResultOf(NewObject("11112222")), DBRES_OBJECT_ADDED);

    // Find: the first record carries the request's reply type, the rest 29.
    auto byId = Run<CObjectInfoMsg>(ObjectRequest(DBMSG_FIND_OBJECT_INFO, OBJECT_KIND_BY_ID, "12345678", 30));
    ASSERT_TRUE(byId);
    EXPECT_EQ(byId->GetType(), 30);
    EXPECT_EQ(byId->Result, DBRES_OBJECT_FOUND_ID);
    EXPECT_EQ(byId->PhoneNumber, "+4611111");
    EXPECT_EQ(byId->LastTestAlarm, COleDateTime(2024, 1, 2, 3, 4, 5));
    EXPECT_EQ(byId->Notes, "Key at the reception");
    EXPECT_EQ(ChainLength(byId.get()), 1u);

    auto byPhone = Run<CObjectInfoMsg>(ObjectRequest(DBMSG_FIND_OBJECT_INFO, OBJECT_KIND_BY_PHONE, "+4611111"));
    EXPECT_EQ(byPhone->Result, DBRES_OBJECT_FOUND_PHONE);
    EXPECT_EQ(byPhone->IdCode, "12345678");

    auto all = Run<CObjectInfoMsg>(ObjectRequest(DBMSG_FIND_OBJECT_INFO, OBJECT_KIND_ALL, "", 30));
    EXPECT_EQ(all->Result, DBRES_OBJECT_FOUND_ALL);
    ASSERT_EQ(ChainLength(all.get()), 3u);
    EXPECT_EQ(all->NextObject()->GetType(), DBMSG_OBJECT_INFO);
    EXPECT_EQ(all->NextObject()->Result, 0);

    auto none = Run<CObjectInfoMsg>(ObjectRequest(DBMSG_FIND_OBJECT_INFO, OBJECT_KIND_BY_ID, "99999999"));
    EXPECT_EQ(none->Result, DBRES_OBJECT_NONE);

    // Edit: a number of another object is refused; the object's own is fine.
    auto edit = NewObject("87654321", "+4611111", DBMSG_EDIT_OBJECT_INFO);
    EXPECT_EQ(ResultOf(std::move(edit)), DBRES_OBJECT_PHONE_USED);
    edit = NewObject("12345678", "+4611111", DBMSG_EDIT_OBJECT_INFO);
    edit->Address = "New street 2";
    EXPECT_EQ(ResultOf(std::move(edit)), DBRES_OBJECT_EDITED);
    EXPECT_EQ(Run<CObjectInfoMsg>(ObjectRequest(DBMSG_FIND_OBJECT_INFO, OBJECT_KIND_BY_ID, "12345678"))->Address,
              "New street 2");
    EXPECT_EQ(ResultOf(NewObject("55555555", {}, DBMSG_EDIT_OBJECT_INFO)), DBRES_OBJECT_EDIT_NOT_FOUND);

    EXPECT_EQ(ResultOf(ObjectRequest(DBMSG_DELETE_OBJECT_INFO, 0, "12345678")), DBRES_OBJECT_DELETED);
    EXPECT_EQ(ResultOf(ObjectRequest(DBMSG_DELETE_OBJECT_INFO, 0, "12345678")), DBRES_OBJECT_DELETE_NOT_FOUND);
    EXPECT_TRUE(errors.shown.empty());
}

TEST_F(DbRequestTest, SingleObjectSearchAttachesItsCustomer)
{
    auto customer = std::make_unique<CCustomerInfoMsg>(DBMSG_ADD_CUSTOMER_INFO);
    customer->Name = "ACME";
    customer->Info = "Call the janitor first";
    EXPECT_EQ(ResultOf(std::move(customer)), DBRES_INFO_ADDED);
    EXPECT_EQ(ResultOf(NewObject("12345678")), DBRES_OBJECT_ADDED);

    auto found = Run<CObjectInfoMsg>(ObjectRequest(DBMSG_FIND_OBJECT_INFO, OBJECT_KIND_BY_ID, "12345678"));
    ASSERT_TRUE(found->CustomerRecord);
    EXPECT_EQ(found->CustomerRecord->Info, "Call the janitor first");
    auto all = Run<CObjectInfoMsg>(ObjectRequest(DBMSG_FIND_OBJECT_INFO, OBJECT_KIND_ALL, ""));
    EXPECT_FALSE(all->CustomerRecord);
}

TEST_F(DbRequestTest, LongObjectTextsUseTwoColumns)
{
    auto object = NewObject("12345678");
    object->Notes = std::string(300, 'n') + std::string(300, 'm');  // 600 characters
    object->MailAddrTech = std::string(256, 't');
    object->MailAddrEmg = std::string(255, 'e');
    EXPECT_EQ(ResultOf(std::move(object)), DBRES_OBJECT_ADDED);

    auto length = [this](const char* column) {
        return QueryValue(database, QStringLiteral("SELECT length(%1) FROM ObjectInfo").arg(QLatin1String(column)))
            .toInt();
    };
    EXPECT_EQ(length("Notes1"), 255);
    EXPECT_EQ(length("Notes2"), 255);
    EXPECT_EQ(length("MailAddrTech1"), 255);
    EXPECT_EQ(length("MailAddrTech2"), 1);
    EXPECT_EQ(length("MailAddrEmg1"), 255);
    EXPECT_EQ(length("MailAddrEmg2"), 0);

    auto found = Run<CObjectInfoMsg>(ObjectRequest(DBMSG_FIND_OBJECT_INFO, OBJECT_KIND_BY_ID, "12345678"));
    EXPECT_EQ(found->Notes, std::string(300, 'n') + std::string(210, 'm'));
    EXPECT_EQ(found->MailAddrTech, std::string(256, 't'));
    EXPECT_EQ(found->MailAddrEmg, std::string(255, 'e'));
}

TEST_F(DbRequestTest, KeysWithQuotesAreOrdinaryKeys)
{
    for (const std::string key : {"12'34", "1';DROP TABLE O;--", "x' OR '1'='1"}) {
        EXPECT_EQ(ResultOf(NewObject(key)), DBRES_OBJECT_ADDED) << key;
        auto found = Run<CObjectInfoMsg>(ObjectRequest(DBMSG_FIND_OBJECT_INFO, OBJECT_KIND_BY_ID, key));
        EXPECT_EQ(found->Result, DBRES_OBJECT_FOUND_ID) << key;
        EXPECT_EQ(found->IdCode, key);
        EXPECT_EQ(ChainLength(found.get()), 1u) << key;
    }
    // A crafted key selects nothing but itself.
    EXPECT_EQ(Run(ObjectRequest(DBMSG_FIND_OBJECT_INFO, OBJECT_KIND_BY_ID, "' OR ''='"))->Result, DBRES_OBJECT_NONE);
    EXPECT_EQ(ResultOf(ObjectRequest(DBMSG_DELETE_OBJECT_INFO, 0, "12'34")), DBRES_OBJECT_DELETED);

    auto customer = std::make_unique<CCustomerInfoMsg>(DBMSG_ADD_CUSTOMER_INFO);
    customer->Name = "O'Brien Lifts";
    EXPECT_EQ(ResultOf(std::move(customer)), DBRES_INFO_ADDED);
    auto find = std::make_unique<CCustomerInfoReqMsg>(DBMSG_FIND_CUSTOMER_INFO);
    find->Kind = INFO_KIND_BY_KEY;
    find->Key = "O'Brien Lifts";
    EXPECT_EQ(ResultOf(std::move(find)), DBRES_INFO_FOUND_KEY);
    EXPECT_TRUE(errors.shown.empty());
}

TEST_F(DbRequestTest, ObjectOperationErrors)
{
    Drop("ObjectInfo");
    EXPECT_EQ(ResultOf(NewObject("12345678")), DBRES_OBJECT_ADD_ERROR);
    EXPECT_EQ(ResultOf(ObjectRequest(DBMSG_FIND_OBJECT_INFO, OBJECT_KIND_ALL, "")), DBRES_OBJECT_FIND_ERROR);
    EXPECT_EQ(ResultOf(NewObject("12345678", "+46", DBMSG_EDIT_OBJECT_INFO)), DBRES_OBJECT_EDIT_ERROR);
    EXPECT_EQ(ResultOf(ObjectRequest(DBMSG_DELETE_OBJECT_INFO, 0, "12345678")), DBRES_OBJECT_DELETE_ERROR);
    ASSERT_EQ(errors.shown.size(), 4u);
    // A failed search before the update shows the engine's description alone.
    EXPECT_EQ(errors.shown[0].find("CDbObjectInfo"), std::string::npos);
    EXPECT_EQ(errors.shown[1].rfind("CDbObjectInfo::FindObjectInfo: ", 0), 0u) << errors.shown[1];
    EXPECT_EQ(errors.shown[2].rfind("CDbObjectInfo::EditObjectInfo: ", 0), 0u);
    EXPECT_EQ(errors.shown[3].rfind("CDbObjectInfo::DeleteObjectInfo: ", 0), 0u);
}

// The three two-column registers behave alike; only table, key and reply type differ.
struct PairCase {
    const char* name;
    const char* table;
    uint16_t firstType;  // add; find, edit and delete follow
    uint16_t replyType;  // 0: the request's ReplyType (SMS numbers)
    std::function<std::unique_ptr<CDatabaseMsg>(uint16_t type, std::string key, std::string other)> record;
    std::function<std::unique_ptr<CKeyReqMsg>(uint16_t type)> request;
    std::function<std::string(const CDatabaseMsg&)> other;
};

void PrintTo(const PairCase& c, std::ostream* os)
{
    *os << c.name;
}

class DbPairRequestTest : public DbRequestTest, public ::testing::WithParamInterface<PairCase> {};

TEST_P(DbPairRequestTest, AddFindEditDeleteAndErrors)
{
    const PairCase& c = GetParam();
    const uint16_t asked = 34;  // reply type the SMS requests ask for
    const uint16_t expectedType = c.replyType != 0 ? c.replyType : asked;
    auto record = [&](uint16_t type, const std::string& key, const std::string& other) {
        auto r = c.record(type, key, other);
        r->ReplyType = asked;
        return r;
    };
    auto request = [&](uint16_t type, int32_t kind, const std::string& key) {
        auto r = c.request(type);
        r->Kind = kind;
        r->Key = key;
        r->ReplyType = asked;
        return r;
    };
    const uint16_t add = c.firstType, find = add + 1, edit = add + 2, remove = add + 3;

    auto reply = Run(record(add, "k'1", "first"));
    EXPECT_EQ(reply->GetType(), expectedType);
    EXPECT_EQ(reply->Result, DBRES_INFO_ADDED);
    EXPECT_EQ(ResultOf(record(add, "k'1", "again")), DBRES_INFO_EXISTS);
    EXPECT_EQ(ResultOf(record(add, "k2", "second")), DBRES_INFO_ADDED);

    auto one = Run(request(find, INFO_KIND_BY_KEY, "k'1"));
    EXPECT_EQ(one->Result, DBRES_INFO_FOUND_KEY);
    EXPECT_EQ(one->GetType(), expectedType);
    EXPECT_EQ(c.other(*one), "first");
    auto all = Run(request(find, INFO_KIND_ALL, ""));
    EXPECT_EQ(all->Result, DBRES_INFO_FOUND_ALL);
    ASSERT_EQ(ChainLength(all.get()), 2u);
    EXPECT_EQ(all->Next->GetType(), expectedType);
    EXPECT_EQ(static_cast<CDatabaseMsg&>(*all->Next).Result, 0);
    EXPECT_EQ(ResultOf(request(find, INFO_KIND_BY_KEY, "none")), DBRES_INFO_NONE);

    EXPECT_EQ(ResultOf(record(edit, "k'1", "changed")), DBRES_INFO_EDITED);
    EXPECT_EQ(c.other(*Run(request(find, INFO_KIND_BY_KEY, "k'1"))), "changed");
    EXPECT_EQ(ResultOf(record(edit, "none", "x")), DBRES_INFO_EDIT_NOT_FOUND);
    EXPECT_EQ(ResultOf(request(remove, 0, "k'1")), DBRES_INFO_DELETED);
    EXPECT_EQ(ResultOf(request(remove, 0, "k'1")), DBRES_INFO_DELETE_NOT_FOUND);
    EXPECT_TRUE(errors.shown.empty());

    Drop(c.table);
    EXPECT_EQ(ResultOf(record(add, "k3", "x")), DBRES_INFO_ADD_ERROR);
    EXPECT_EQ(ResultOf(request(find, INFO_KIND_ALL, "")), DBRES_INFO_FIND_ERROR);
    EXPECT_EQ(ResultOf(record(edit, "k2", "x")), DBRES_INFO_EDIT_ERROR);
    EXPECT_EQ(ResultOf(request(remove, 0, "k2")), DBRES_INFO_DELETE_ERROR);
    ASSERT_EQ(errors.shown.size(), 4u);
    const std::string name = c.name;
    EXPECT_EQ(errors.shown[0].rfind("CDatabaseHandler::Add" + name + ": ", 0), 0u) << errors.shown[0];
    EXPECT_EQ(errors.shown[1].rfind("CDatabaseHandler::Find" + name + ": ", 0), 0u);
    EXPECT_EQ(errors.shown[2].rfind("CDatabaseHandler::Edit" + name + ": ", 0), 0u);
    EXPECT_EQ(errors.shown[3].rfind("CDatabaseHandler::Delete" + name + ": ", 0), 0u);
}

template <typename Record, typename Request>
PairCase MakePairCase(const char* name, const char* table, uint16_t firstType, uint16_t replyType,
                      std::string Record::*key, std::string Record::*other)
{
    return PairCase{name,
                    table,
                    firstType,
                    replyType,
                    [key, other](uint16_t type, std::string k, std::string o) -> std::unique_ptr<CDatabaseMsg> {
                        auto r = std::make_unique<Record>(type);
                        (*r).*key = std::move(k);
                        (*r).*other = std::move(o);
                        return r;
                    },
                    [](uint16_t type) -> std::unique_ptr<CKeyReqMsg> { return std::make_unique<Request>(type); },
                    [other](const CDatabaseMsg& msg) { return dynamic_cast<const Record&>(msg).*other; }};
}

INSTANTIATE_TEST_SUITE_P(
    Registers, DbPairRequestTest,
    ::testing::Values(
        MakePairCase<CCustomerInfoMsg, CCustomerInfoReqMsg>("CustomerInfo", "CustomerInfo", DBMSG_ADD_CUSTOMER_INFO,
                                                            DBMSG_CUSTOMER_INFO, &CCustomerInfoMsg::Name,
                                                            &CCustomerInfoMsg::Info),
        MakePairCase<CMailInfoMsg, CMailInfoReqMsg>("MailInfo", "MailInfo", DBMSG_ADD_MAIL_INFO, DBMSG_MAIL_INFO,
                                                    &CMailInfoMsg::Address, &CMailInfoMsg::Name),
        MakePairCase<CSmsNumInfoMsg, CSmsNumInfoReqMsg>("SmsNumInfo", "SmsNumberInfo", DBMSG_ADD_SMS_NUM_INFO, 0,
                                                        &CSmsNumInfoMsg::Number, &CSmsNumInfoMsg::Name)),
    [](const auto& info) { return std::string(info.param.name); });

// A key longer than its column would be stored cut while every search uses it
// whole: the row could never be found, edited or deleted again, and a second
// add would store it twice. Such a key is refused like a row the engine
// cannot take. Lengths count characters: "ö" is two bytes and one character.
TEST_F(DbRequestTest, KeysLongerThanTheirColumnAreRefused)
{
    auto text = [](size_t chars) {
        std::string s;
        for (size_t i = 0; i < chars; ++i)
            s += "\xC3\xB6";
        return s;
    };
    int objects = 0;
    auto byIdCode = [&](const std::string& key, uint16_t type) -> std::unique_ptr<CMsg> {
        return NewObject(key, "", type);
    };
    // The edits are of the first object; every add is a new object.
    auto byPhone = [&](const std::string& key, uint16_t type) -> std::unique_ptr<CMsg> {
        return NewObject(type == DBMSG_EDIT_OBJECT_INFO ? "1" : std::to_string(++objects), key, type);
    };
    auto customer = [](const std::string& key, uint16_t type) -> std::unique_ptr<CMsg> {
        auto r = std::make_unique<CCustomerInfoMsg>(type);
        r->Name = key;
        r->Info = "info";
        return r;
    };
    auto mail = [](const std::string& key, uint16_t type) -> std::unique_ptr<CMsg> {
        auto r = std::make_unique<CMailInfoMsg>(type);
        r->Address = key;
        r->Name = "name";
        return r;
    };
    auto sms = [](const std::string& key, uint16_t type) -> std::unique_ptr<CMsg> {
        auto r = std::make_unique<CSmsNumInfoMsg>(type);
        r->Number = key;
        r->Name = "name";
        r->ReplyType = DBMSG_SMS_NUM_INFO;
        return r;
    };
    struct Case {
        const char* name;
        const char* table;
        const char* column;
        size_t limit;
        // The request of the given type whose key is the given text.
        std::function<std::unique_ptr<CMsg>(const std::string& key, uint16_t type)> request;
        uint16_t add, edit;
        uint16_t added, addError, edited, editError;
        const char* prefix;  // of the add's error box
    };
    const Case cases[] = {
        {"object identity code", "ObjectInfo", "IdCode", 20, byIdCode, DBMSG_ADD_OBJECT_INFO, DBMSG_EDIT_OBJECT_INFO,
         DBRES_OBJECT_ADDED, DBRES_OBJECT_ADD_ERROR, DBRES_OBJECT_EDITED, DBRES_OBJECT_EDIT_ERROR,
         "CDbObjectInfo::AddObjectInfo: "},
        // The telephone number is searched whole too, to keep it unique.
        {"object telephone number", "ObjectInfo", "PhoneNumber", 30, byPhone, DBMSG_ADD_OBJECT_INFO,
         DBMSG_EDIT_OBJECT_INFO, DBRES_OBJECT_ADDED, DBRES_OBJECT_ADD_ERROR, DBRES_OBJECT_EDITED,
         DBRES_OBJECT_EDIT_ERROR, "CDbObjectInfo::AddObjectInfo: "},
        {"customer name", "CustomerInfo", "Name", 40, customer, DBMSG_ADD_CUSTOMER_INFO, DBMSG_EDIT_CUSTOMER_INFO,
         DBRES_INFO_ADDED, DBRES_INFO_ADD_ERROR, DBRES_INFO_EDITED, DBRES_INFO_EDIT_ERROR,
         "CDatabaseHandler::AddCustomerInfo: "},
        {"e-mail address", "MailInfo", "Address", 80, mail, DBMSG_ADD_MAIL_INFO, DBMSG_EDIT_MAIL_INFO, DBRES_INFO_ADDED,
         DBRES_INFO_ADD_ERROR, DBRES_INFO_EDITED, DBRES_INFO_EDIT_ERROR, "CDatabaseHandler::AddMailInfo: "},
        {"SMS number", "SmsNumberInfo", "Number", 20, sms, DBMSG_ADD_SMS_NUM_INFO, DBMSG_EDIT_SMS_NUM_INFO,
         DBRES_INFO_ADDED, DBRES_INFO_ADD_ERROR, DBRES_INFO_EDITED, DBRES_INFO_EDIT_ERROR,
         "CDatabaseHandler::AddSmsNumInfo: "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        errors.shown.clear();
        const std::string fits = text(c.limit);
        const std::string tooLong = fits + "x";
        auto rows = [&] {
            QSqlQuery query(database.Connection());
            query.prepare(QStringLiteral("SELECT count(*) FROM \"%1\" WHERE \"%2\" = ?")
                              .arg(QLatin1String(c.table), QLatin1String(c.column)));
            query.addBindValue(QString::fromStdString(fits));
            return query.exec() && query.next() ? query.value(0).toInt() : -1;
        };
        EXPECT_EQ(ResultOf(c.request(fits, c.add)), c.added);
        EXPECT_EQ(ResultOf(c.request(tooLong, c.add)), c.addError);
        EXPECT_EQ(ResultOf(c.request(tooLong, c.add)), c.addError);
        EXPECT_EQ(rows(), 1);
        EXPECT_EQ(ResultOf(c.request(tooLong, c.edit)), c.editError);
        EXPECT_EQ(ResultOf(c.request(fits, c.edit)), c.edited);
        EXPECT_EQ(rows(), 1);
        ASSERT_EQ(errors.shown.size(), 3u);
        EXPECT_EQ(errors.shown[0].rfind(c.prefix, 0), 0u) << errors.shown[0];
    }
}

TEST_F(DbRequestTest, DuplicateRowsFromOtherToolsEditAndDeleteOnlyTheFirst)
{
    database.Execute(QStringLiteral("INSERT INTO MailInfo (Name, Address) VALUES ('one', 'a@b'), ('two', 'a@b')"));
    auto edit = std::make_unique<CMailInfoMsg>(DBMSG_EDIT_MAIL_INFO);
    edit->Address = "a@b";
    edit->Name = "changed";
    EXPECT_EQ(ResultOf(std::move(edit)), DBRES_INFO_EDITED);
    EXPECT_EQ(QueryValue(database, QStringLiteral("SELECT count(*) FROM MailInfo WHERE Name = 'changed'")).toInt(), 1);
    auto remove = std::make_unique<CMailInfoReqMsg>(DBMSG_DELETE_MAIL_INFO);
    remove->Key = "a@b";
    EXPECT_EQ(ResultOf(std::move(remove)), DBRES_INFO_DELETED);
    EXPECT_EQ(QueryValue(database, QStringLiteral("SELECT count(*) FROM MailInfo")).toInt(), 1);
}

TEST_F(DbRequestTest, AlarmListByStatusMaskNewestFirst)
{
    const COleDateTime base(2024, 6, 1, 8, 0, 0);
    // Status of the alarm stored i minutes after base.
    const uint8_t statuses[] = {1, 2, 3, 4, 1, 2, 3, 4};
    for (int i = 0; i < 8; ++i)
        StoreAlarm(statuses[i], base + OleSpan(0, 0, i));

    struct Case {
        uint8_t mask;
        uint32_t maxCount;
        uint16_t result;
        std::vector<int> minutes;  // expected alarms, by their minute, in reply order
    };
    const Case cases[] = {
        {15, 100, DBRES_ALARM_FOUND_LIST, {7, 6, 5, 4, 3, 2, 1, 0}},
        {15, 3, DBRES_ALARM_FOUND_LIST, {7, 6, 5}},
        {1, 100, DBRES_ALARM_FOUND_LIST, {4, 0}},
        {6, 100, DBRES_ALARM_FOUND_LIST, {6, 5, 2, 1}},
        {8, 100, DBRES_ALARM_FOUND_LIST, {7, 3}},
        {0, 100, DBRES_ALARM_NONE, {}},
        {15, 0, DBRES_ALARM_NONE, {}},
    };
    for (const Case& c : cases) {
        auto request = std::make_unique<CAlarmInfoReqMsg>(DBMSG_FIND_ALARM_INFO);
        request->Kind = ALARM_KIND_LIST;
        request->StatusMask = c.mask;
        request->MaxCount = c.maxCount;
        auto reply = Run<CAlarmInfoMsg>(std::move(request));
        ASSERT_TRUE(reply);
        EXPECT_EQ(reply->GetType(), DBMSG_ALARM_INFO);
        EXPECT_EQ(reply->Result, c.result) << "mask " << int(c.mask);
        std::vector<int> minutes;
        for (const CAlarmInfoMsg* a = reply.get(); a != nullptr && a->PrimaryKey != 0; a = a->NextAlarm())
            minutes.push_back(static_cast<int>(std::lround((a->AlarmTime - base) * 1440)));
        EXPECT_EQ(minutes, c.minutes) << "mask " << int(c.mask) << " max " << c.maxCount;
        if (reply->Next) {
            EXPECT_EQ(reply->NextAlarm()->Result, 0);
        }
    }
    EXPECT_EQ(CDbAlarmInfo::StatusesOfMask(6), (std::vector<uint8_t>{2, 3}));
    EXPECT_TRUE(CDbAlarmInfo::StatusesOfMask(15).empty());
}

TEST_F(DbRequestTest, AlarmSearchesForPrinting)
{
    const COleDateTime base(2024, 6, 1, 8, 0, 0);
    const uint32_t first = StoreAlarm(1, base);
    const uint32_t second = StoreAlarm(3, base + OleSpan(0, 1));

    // Kind 3: a chain of keys, answered in the same order; a missing key keeps its own result.
    auto request = std::make_unique<CAlarmInfoReqMsg>(DBMSG_FIND_ALARM_INFO);
    request->Kind = ALARM_KIND_PRINT_KEYS;
    request->PrimaryKey = second;
    auto missing = std::make_unique<CAlarmInfoReqMsg>();
    missing->PrimaryKey = 9999;
    auto last = std::make_unique<CAlarmInfoReqMsg>();
    last->PrimaryKey = first;
    missing->Next = std::move(last);
    request->Next = std::move(missing);
    auto keys = Run<CAlarmInfoMsg>(std::move(request));
    ASSERT_EQ(ChainLength(keys.get()), 3u);
    EXPECT_EQ(keys->Result, DBRES_ALARM_PRINT_KEYS);
    EXPECT_EQ(keys->PrimaryKey, second);
    EXPECT_EQ(keys->NextAlarm()->Result, DBRES_ALARM_NONE);
    EXPECT_EQ(keys->NextAlarm()->NextAlarm()->Result, DBRES_ALARM_FOUND_KEY);
    EXPECT_EQ(keys->NextAlarm()->NextAlarm()->PrimaryKey, first);

    // Kind 4: the list, answered with 8 whatever it found.
    for (uint8_t mask : {15, 0}) {
        auto list = std::make_unique<CAlarmInfoReqMsg>(DBMSG_FIND_ALARM_INFO);
        list->Kind = ALARM_KIND_PRINT_LIST;
        list->StatusMask = mask;
        list->MaxCount = 10;
        auto reply = Run<CAlarmInfoMsg>(std::move(list));
        EXPECT_EQ(reply->Result, DBRES_ALARM_PRINT_LIST);
        EXPECT_EQ(ChainLength(reply.get()), mask == 15 ? 2u : 1u);
    }
}

TEST_F(DbRequestTest, AlarmByKeyCarriesTheObjectNotes)
{
    EXPECT_EQ(ResultOf(NewObject("12345678")), DBRES_OBJECT_ADDED);
    const uint32_t known = StoreAlarm(1, COleDateTime(2024, 6, 1, 8, 0, 0), "12345678");
    const uint32_t unknown = StoreAlarm(1, COleDateTime(2024, 6, 1, 8, 0, 0), "00000000");

    auto request = std::make_unique<CAlarmInfoReqMsg>(DBMSG_FIND_ALARM_INFO);
    request->Kind = ALARM_KIND_BY_KEY;
    request->PrimaryKey = known;
    auto reply = Run<CAlarmInfoMsg>(std::move(request));
    EXPECT_EQ(reply->Result, DBRES_ALARM_FOUND_KEY);
    EXPECT_EQ(reply->ObjectKnown, 1);
    EXPECT_EQ(reply->ObjectNotes, "Key at the reception");

    request = std::make_unique<CAlarmInfoReqMsg>(DBMSG_FIND_ALARM_INFO);
    request->Kind = ALARM_KIND_BY_KEY;
    request->PrimaryKey = unknown;
    reply = Run<CAlarmInfoMsg>(std::move(request));
    EXPECT_EQ(reply->ObjectKnown, 0);

    request = std::make_unique<CAlarmInfoReqMsg>(DBMSG_FIND_ALARM_INFO);
    request->Kind = ALARM_KIND_BY_KEY;
    request->PrimaryKey = 4711;
    EXPECT_EQ(ResultOf(std::move(request)), DBRES_ALARM_NONE);
}

TEST_F(DbRequestTest, AlarmTextLongerThanTheRecordIsCutAndMarked)
{
    const uint32_t key = StoreAlarm(1, COleDateTime(2024, 6, 1, 8, 0, 0));
    // Another tool wrote 300 characters into the column.
    QSqlQuery update(database.Connection());
    update.prepare(QStringLiteral("UPDATE AlarmInfo SET Text = ? WHERE PrimaryKey = ?"));
    update.addBindValue(QString(300, QLatin1Char('x')));
    update.addBindValue(key);
    ASSERT_TRUE(update.exec());
    auto request = std::make_unique<CAlarmInfoReqMsg>(DBMSG_FIND_ALARM_INFO);
    request->Kind = ALARM_KIND_BY_KEY;
    request->PrimaryKey = key;
    auto reply = Run<CAlarmInfoMsg>(std::move(request));
    EXPECT_EQ(reply->Text.GetLength(), 255u);
    EXPECT_TRUE(reply->Text.IsTruncated());
}

TEST_F(DbRequestTest, EditAlarmChangesOnlyStatusAndGivenOperators)
{
    const uint32_t key = StoreAlarm(1, COleDateTime(2024, 6, 1, 8, 0, 0));
    auto ack = std::make_unique<CAlarmInfoMsg>(DBMSG_EDIT_ALARM_INFO);
    ack->PrimaryKey = key;
    ack->AlarmStatus = ALARMSTATUS_ACKNOWLEDGED;
    ack->AckOperator = "Anna";
    ack->AckTime = COleDateTime(2024, 6, 1, 8, 5, 0);
    ack->ExecTime = COleDateTime(2030, 1, 1, 0, 0, 0);  // no ExecOperator: not written
    ack->IdCode = "changed";                            // never written
    auto reply = Run(std::move(ack));
    EXPECT_EQ(reply->GetType(), DBMSG_ALARM_INFO);
    EXPECT_EQ(reply->Result, DBRES_ALARM_EDITED);

    auto request = std::make_unique<CAlarmInfoReqMsg>(DBMSG_FIND_ALARM_INFO);
    request->Kind = ALARM_KIND_BY_KEY;
    request->PrimaryKey = key;
    auto stored = Run<CAlarmInfoMsg>(std::move(request));
    EXPECT_EQ(stored->AlarmStatus, ALARMSTATUS_ACKNOWLEDGED);
    EXPECT_EQ(stored->AckOperator, "Anna");
    EXPECT_EQ(stored->AckTime, COleDateTime(2024, 6, 1, 8, 5, 0));
    EXPECT_EQ(stored->ExecTime.m_dt, 0.0);
    EXPECT_EQ(stored->IdCode, "12345678");

    auto missing = std::make_unique<CAlarmInfoMsg>(DBMSG_EDIT_ALARM_INFO);
    missing->PrimaryKey = 4711;
    EXPECT_EQ(ResultOf(std::move(missing)), DBRES_ALARM_EDIT_NOT_FOUND);
}

// A status never goes back, whatever the sender believed the status was: a
// dialog left open while the alarm was finished elsewhere, or an Info alarm.
TEST_F(DbRequestTest, AnEditThatWouldTakeTheStatusBackChangesNothing)
{
    struct Case {
        const char* name;
        uint8_t stored;
        uint8_t edit;
    };
    const Case cases[] = {
        {"acknowledge a finished alarm", ALARMSTATUS_FINISHED, ALARMSTATUS_ACKNOWLEDGED},
        {"acknowledge it twice", ALARMSTATUS_ACKNOWLEDGED, ALARMSTATUS_ACKNOWLEDGED},
        {"finish it twice", ALARMSTATUS_FINISHED, ALARMSTATUS_FINISHED},
        {"acknowledge an info alarm", ALARMSTATUS_INFO, ALARMSTATUS_ACKNOWLEDGED},
        {"finish an info alarm", ALARMSTATUS_INFO, ALARMSTATUS_FINISHED},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const uint32_t key = StoreAlarm(c.stored, COleDateTime(2024, 6, 1, 8, 0, 0));
        auto edit = std::make_unique<CAlarmInfoMsg>(DBMSG_EDIT_ALARM_INFO);
        edit->PrimaryKey = key;
        edit->AlarmStatus = c.edit;
        edit->AckOperator = "Late";
        edit->AckTime = COleDateTime(2024, 6, 1, 9, 0, 0);
        EXPECT_EQ(ResultOf(std::move(edit)), DBRES_ALARM_EDIT_STALE);

        auto request = std::make_unique<CAlarmInfoReqMsg>(DBMSG_FIND_ALARM_INFO);
        request->Kind = ALARM_KIND_BY_KEY;
        request->PrimaryKey = key;
        auto stored = Run<CAlarmInfoMsg>(std::move(request));
        EXPECT_EQ(stored->AlarmStatus, c.stored);
        EXPECT_NE(stored->AckOperator, "Late");
    }
}

TEST_F(DbRequestTest, DeleteAlarmByKeyAndByAge)
{
    const uint32_t key = StoreAlarm(1, COleDateTime(2024, 6, 1, 8, 0, 0));
    auto remove = std::make_unique<CAlarmInfoReqMsg>(DBMSG_DELETE_ALARM_INFO);
    remove->Kind = ALARM_KIND_BY_KEY;
    remove->PrimaryKey = key;
    EXPECT_EQ(ResultOf(std::move(remove)), DBRES_ALARM_DELETED);
    remove = std::make_unique<CAlarmInfoReqMsg>(DBMSG_DELETE_ALARM_INFO);
    remove->Kind = ALARM_KIND_BY_KEY;
    remove->PrimaryKey = key;
    EXPECT_EQ(ResultOf(std::move(remove)), DBRES_ALARM_DELETE_NONE);

    // AgeDays 0 removes everything before the start of today, nothing of today.
    SettableNow now(COleDateTime(2024, 6, 10, 15, 30, 0));
    StoreAlarm(3, COleDateTime(2024, 6, 9, 23, 59, 59));
    const uint32_t today = StoreAlarm(3, COleDateTime(2024, 6, 10, 0, 0, 0));
    remove = std::make_unique<CAlarmInfoReqMsg>(DBMSG_DELETE_ALARM_INFO);
    remove->Kind = ALARM_KIND_OLDER_THAN;
    remove->AgeDays = 0;
    EXPECT_EQ(ResultOf(std::move(remove)), DBRES_ALARM_DELETED);
    EXPECT_EQ(QueryValue(database, QStringLiteral("SELECT group_concat(PrimaryKey) FROM AlarmInfo")).toString(),
              QString::number(today));

    // An unknown kind never deletes the whole table.
    remove = std::make_unique<CAlarmInfoReqMsg>(DBMSG_DELETE_ALARM_INFO);
    remove->Kind = 0;
    EXPECT_EQ(ResultOf(std::move(remove)), DBRES_ALARM_DELETE_NONE);
    EXPECT_EQ(QueryValue(database, QStringLiteral("SELECT count(*) FROM AlarmInfo")).toInt(), 1);
}

TEST_F(DbRequestTest, AlarmOperationErrors)
{
    Drop("AlarmInfo");
    auto find = std::make_unique<CAlarmInfoReqMsg>(DBMSG_FIND_ALARM_INFO);
    find->Kind = ALARM_KIND_LIST;
    find->MaxCount = 10;
    auto reply = Run<CAlarmInfoMsg>(std::move(find));
    EXPECT_EQ(reply->Result, DBRES_ALARM_FIND_ERROR);
    EXPECT_EQ(reply->Next, nullptr);
    auto edit = std::make_unique<CAlarmInfoMsg>(DBMSG_EDIT_ALARM_INFO);
    edit->PrimaryKey = 1;
    EXPECT_EQ(ResultOf(std::move(edit)), DBRES_ALARM_EDIT_ERROR);
    auto remove = std::make_unique<CAlarmInfoReqMsg>(DBMSG_DELETE_ALARM_INFO);
    remove->Kind = ALARM_KIND_BY_KEY;
    EXPECT_EQ(ResultOf(std::move(remove)), DBRES_ALARM_DELETE_ERROR);
    ASSERT_EQ(errors.shown.size(), 3u);
    EXPECT_EQ(errors.shown[0].rfind("CDatabaseHandler::FindAlarmInfo: ", 0), 0u);
    EXPECT_EQ(errors.shown[1].rfind("CDatabaseHandler::EditAlarmInfo: ", 0), 0u);
    EXPECT_EQ(errors.shown[2].rfind("CDatabaseHandler::DeleteAlarmInfo: ", 0), 0u);
    // The database stays usable for the other tables.
    EXPECT_EQ(ResultOf(NewObject("12345678")), DBRES_OBJECT_ADDED);
}

TEST_F(DbRequestTest, UnknownOrMismatchedRequestsGetNoReply)
{
    handler.ExecuteRequest(std::make_unique<CDatabaseMsg>(28));
    handler.ExecuteRequest(std::make_unique<CDatabaseMsg>(DBMSG_ADD_OBJECT_INFO));  // not an object record
    handler.ExecuteRequest(nullptr);
    EXPECT_EQ(owner.Count(), 0u);
}
