#pragma once
// Base of every database record and request, with the message types of the
// database family and the result codes of its operations.
//
// Multi-record replies are chains: the first message carries the reply's type
// and Result, every further record hangs behind it through CMsg::Next with
// Result 0. The chain owns its tail, so destroying the first record destroys
// them all.

#include "core/Msg.h"

#include <cstdint>

// Requests run by CDatabaseHandler::ExecuteRequest.
constexpr uint16_t DBMSG_ADD_OBJECT_INFO = 9;
constexpr uint16_t DBMSG_FIND_OBJECT_INFO = 10;
constexpr uint16_t DBMSG_EDIT_OBJECT_INFO = 11;
constexpr uint16_t DBMSG_DELETE_OBJECT_INFO = 12;
constexpr uint16_t DBMSG_FIND_ALARM_INFO = 13;
constexpr uint16_t DBMSG_EDIT_ALARM_INFO = 14;
constexpr uint16_t DBMSG_DELETE_ALARM_INFO = 15;
constexpr uint16_t DBMSG_ADD_CUSTOMER_INFO = 16;
constexpr uint16_t DBMSG_FIND_CUSTOMER_INFO = 17;
constexpr uint16_t DBMSG_EDIT_CUSTOMER_INFO = 18;
constexpr uint16_t DBMSG_DELETE_CUSTOMER_INFO = 19;
constexpr uint16_t DBMSG_ADD_MAIL_INFO = 20;
constexpr uint16_t DBMSG_FIND_MAIL_INFO = 21;
constexpr uint16_t DBMSG_EDIT_MAIL_INFO = 22;
constexpr uint16_t DBMSG_DELETE_MAIL_INFO = 23;
constexpr uint16_t DBMSG_ADD_SMS_NUM_INFO = 24;
constexpr uint16_t DBMSG_FIND_SMS_NUM_INFO = 25;
constexpr uint16_t DBMSG_EDIT_SMS_NUM_INFO = 26;
constexpr uint16_t DBMSG_DELETE_SMS_NUM_INFO = 27;

// Messages towards the document (unique in the whole station).
constexpr uint16_t DBMSG_OBJECT_INFO = 29;    // object replies
constexpr uint16_t DBMSG_EXPORT_INFO = 30;    // object export replies
constexpr uint16_t DBMSG_ALARM_INFO = 31;     // alarm records and alarm replies
constexpr uint16_t DBMSG_CUSTOMER_INFO = 32;  // customer replies
constexpr uint16_t DBMSG_MAIL_INFO = 33;      // mail-recipient replies
constexpr uint16_t DBMSG_SMS_NUM_INFO = 34;   // SMS-number replies
constexpr uint16_t DBMSG_HOURLY_TICK = 37;    // bare CMsg from the relay thread

// Result of an alarm record posted as news.
constexpr uint16_t DBRES_ALARM_NEW = 1;
// Alarm operations.
constexpr uint16_t DBRES_ALARM_ADDED = 2;
constexpr uint16_t DBRES_ALARM_ADD_ERROR = 3;
constexpr uint16_t DBRES_ALARM_FOUND_KEY = 4;
constexpr uint16_t DBRES_ALARM_FOUND_EMERGENCY = 5;
constexpr uint16_t DBRES_ALARM_FOUND_LIST = 6;
constexpr uint16_t DBRES_ALARM_PRINT_KEYS = 7;
constexpr uint16_t DBRES_ALARM_PRINT_LIST = 8;
constexpr uint16_t DBRES_ALARM_NONE = 9;
constexpr uint16_t DBRES_ALARM_FIND_ERROR = 10;
constexpr uint16_t DBRES_ALARM_EDITED = 11;
constexpr uint16_t DBRES_ALARM_EDIT_NOT_FOUND = 12;
constexpr uint16_t DBRES_ALARM_EDIT_ERROR = 13;
constexpr uint16_t DBRES_ALARM_DELETED = 14;
constexpr uint16_t DBRES_ALARM_DELETE_NONE = 15;
constexpr uint16_t DBRES_ALARM_DELETE_ERROR = 16;
// The stored status is already as far as the edit's or further (a status
// never goes back, and an Info alarm is never acknowledged or finished):
// nothing was changed.
constexpr uint16_t DBRES_ALARM_EDIT_STALE = 17;

// Object operations.
constexpr uint16_t DBRES_OBJECT_ADDED = 1;
constexpr uint16_t DBRES_OBJECT_ID_EXISTS = 2;
constexpr uint16_t DBRES_OBJECT_PHONE_EXISTS = 3;
constexpr uint16_t DBRES_OBJECT_ADD_ERROR = 4;
constexpr uint16_t DBRES_OBJECT_FOUND_ID = 5;
constexpr uint16_t DBRES_OBJECT_FOUND_PHONE = 6;
constexpr uint16_t DBRES_OBJECT_FOUND_ALL = 7;
constexpr uint16_t DBRES_OBJECT_NONE = 8;
constexpr uint16_t DBRES_OBJECT_FIND_ERROR = 9;
constexpr uint16_t DBRES_OBJECT_EDITED = 10;
constexpr uint16_t DBRES_OBJECT_PHONE_USED = 11;
constexpr uint16_t DBRES_OBJECT_EDIT_NOT_FOUND = 12;
constexpr uint16_t DBRES_OBJECT_EDIT_ERROR = 13;
constexpr uint16_t DBRES_OBJECT_DELETED = 14;
constexpr uint16_t DBRES_OBJECT_DELETE_NOT_FOUND = 15;
constexpr uint16_t DBRES_OBJECT_DELETE_ERROR = 16;

// Customer, mail-recipient and SMS-number operations (the same codes for all three).
constexpr uint16_t DBRES_INFO_ADDED = 1;
constexpr uint16_t DBRES_INFO_EXISTS = 2;
constexpr uint16_t DBRES_INFO_ADD_ERROR = 3;
constexpr uint16_t DBRES_INFO_FOUND_KEY = 4;
constexpr uint16_t DBRES_INFO_FOUND_ALL = 5;
constexpr uint16_t DBRES_INFO_NONE = 6;
constexpr uint16_t DBRES_INFO_FIND_ERROR = 7;
constexpr uint16_t DBRES_INFO_EDITED = 8;
constexpr uint16_t DBRES_INFO_EDIT_NOT_FOUND = 9;
constexpr uint16_t DBRES_INFO_EDIT_ERROR = 10;
constexpr uint16_t DBRES_INFO_DELETED = 11;
constexpr uint16_t DBRES_INFO_DELETE_NOT_FOUND = 12;
constexpr uint16_t DBRES_INFO_DELETE_ERROR = 13;

// Kinds of alarm searches and deletions (CAlarmInfoReqMsg::Kind).
constexpr int32_t ALARM_KIND_BY_KEY = 1;          // one alarm by PrimaryKey
constexpr int32_t ALARM_KIND_LIST = 2;            // newest first by StatusMask, up to MaxCount
constexpr int32_t ALARM_KIND_PRINT_KEYS = 3;      // a chain of requests, one key each
constexpr int32_t ALARM_KIND_PRINT_LIST = 4;      // as the list, for printing
constexpr int32_t ALARM_KIND_OLDER_THAN = 5;      // deletion of alarms older than AgeDays
constexpr int32_t ALARM_KIND_LAST_EMERGENCY = 6;  // newest Emergency Call Activated of IdCode

// Kinds of object searches (CObjectInfoReqMsg::Kind).
constexpr int32_t OBJECT_KIND_BY_ID = 1;
constexpr int32_t OBJECT_KIND_BY_PHONE = 2;
constexpr int32_t OBJECT_KIND_ALL = 3;

// Kinds of customer, mail-recipient and SMS-number searches.
constexpr int32_t INFO_KIND_BY_KEY = 1;
constexpr int32_t INFO_KIND_ALL = 2;

class CDatabaseMsg : public CMsg {
public:
    CDatabaseMsg() = default;
    explicit CDatabaseMsg(uint16_t msgType) : CMsg(msgType) {}

    // In a reply: the outcome; in an alarm record posted as news: 1.
    uint16_t Result = 0;
    // In a request: the message type its reply is to carry (0 when not set).
    uint16_t ReplyType = 0;
};
