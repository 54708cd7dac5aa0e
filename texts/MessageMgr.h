#pragma once
// Turns every alarm-bearing message into an alarm record with its operator
// text: a decoded telephone alarm (CPC or P100), a received SMS, or a test
// call recognised by its caller number. Also reads the user message files that
// give the operator text of coded messages from lift controllers.
//
// The manager holds no alarm state: each conversion works only on the message
// it is given. It runs on the database handler's thread.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

class CMsg;
class CAlarmInfoMsg;
class CTelHandlerMsg;
class CGsmHandlerMsg;

class CMessageMgr {
public:
    // Coded controller messages take at most this many lines from a user message file.
    static constexpr int kMaxUserMsgLines = 30;
    // The user message files besides UserMsg.txt: UserMsg00.txt to UserMsg99.txt.
    static constexpr int kUserMsgFileCount = 100;

    // A new alarm record (type 31, Result 1, marked new) for a decoded
    // telephone alarm (type 42), a received SMS (39) or a test call (40);
    // nullptr for any other message. The caller keeps the input message.
    std::unique_ptr<CAlarmInfoMsg> CreateAlarmInfo(const CMsg& msg) const;

    // The operator text of the coded message letter/number: the block of the
    // last user message file that has the code, each line followed by a line
    // feed; empty when no file has it. Files are read from the current
    // directory in the order UserMsg.txt, UserMsg00.txt ... UserMsg99.txt;
    // missing files are skipped.
    std::string FindUserMsg(char letter, unsigned number) const;

    // The block of the code in one file (empty when the file does not open or
    // does not have the code). The file is UTF-8, or Windows-1252 when it is
    // not valid UTF-8; the result is UTF-8.
    static std::string ReadUserMsgFile(const std::string& path, char letter, unsigned number);

    // True when line is the label of the code: ":" then the letter (case
    // matters) and one to three decimal digits naming the number (below 256).
    static bool MatchUserMsgLabel(std::string_view line, char letter, unsigned number);

private:
    void CreateFromTelAlarm(const CTelHandlerMsg& msg, CAlarmInfoMsg& alarm) const;
    void CreateFromSms(const CGsmHandlerMsg& msg, CAlarmInfoMsg& alarm) const;
    static void ParseP100Sms(std::string_view rest, CAlarmInfoMsg& alarm);
    void AddUserDataText(const CTelHandlerMsg& msg, CAlarmInfoMsg& alarm) const;
    static void AddUnitLine(uint8_t extraCode, CAlarmInfoMsg& alarm);
    static void AddBusLine(uint8_t extraCode, CAlarmInfoMsg& alarm);
};
