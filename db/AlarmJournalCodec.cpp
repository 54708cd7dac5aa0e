#include "db/AlarmJournalCodec.h"

#include "messages/GsmHandlerMsg.h"
#include "messages/TelHandlerMsg.h"

#include <algorithm>
#include <cstdio>
#include <string>

namespace {

using Fields = CAlarmJournal::Fields;

std::string Hex(const uint8_t* data, std::size_t size)
{
    std::string out;
    char buf[3];
    for (std::size_t i = 0; i < size; ++i) {
        std::snprintf(buf, sizeof buf, "%02X", data[i]);
        out += buf;
    }
    return out;
}

// The fields of a record by name; numbers that do not read are 0.
class CFieldReader {
public:
    explicit CFieldReader(const Fields& recordFields) : fields(recordFields) {}

    std::string Text(const char* name) const
    {
        for (const auto& [key, value] : fields)
            if (key == name)
                return value;
        return {};
    }

    long Number(const char* name) const
    {
        try {
            return std::stol(Text(name));
        } catch (const std::exception&) {
            return 0;
        }
    }

private:
    const Fields& fields;
};

void WriteTel(const CTelHandlerMsg& tel, Fields& f)
{
    f.emplace_back("msgType", std::to_string(tel.msgType));
    f.emplace_back("protocol", std::to_string(tel.protocol));
    f.emplace_back("callerInfo", tel.callerInfo);
    f.emplace_back("idCode", tel.idCode);
    f.emplace_back("idType", std::to_string(tel.idType));
    f.emplace_back("modelCode", std::to_string(tel.modelCode));
    f.emplace_back("ofType", std::to_string(tel.ofType));
    f.emplace_back("extraCode", std::to_string(tel.extraCode));
    const auto length =
        static_cast<std::size_t>(std::clamp<int>(tel.userDataLen, 0, static_cast<int>(tel.userData.size())));
    f.emplace_back("userData", Hex(tel.userData.data(), length));
    f.emplace_back("interfaceType", std::to_string(tel.interfaceType));
    f.emplace_back("signalLevel", std::to_string(tel.signalLevel));
    f.emplace_back("remaining", std::to_string(tel.remaining));
    f.emplace_back("code", std::to_string(tel.code));
    f.emplace_back("value", std::to_string(tel.value));
    f.emplace_back("text", tel.text);
}

std::unique_ptr<CMsg> ReadTel(const CFieldReader& r)
{
    auto tel = std::make_unique<CTelHandlerMsg>(TEL_ALARM);
    tel->msgType = static_cast<uint8_t>(r.Number("msgType"));
    tel->protocol = static_cast<int16_t>(r.Number("protocol"));
    tel->callerInfo = r.Text("callerInfo");
    tel->idCode = r.Text("idCode");
    tel->idType = static_cast<int16_t>(r.Number("idType"));
    tel->modelCode = static_cast<int16_t>(r.Number("modelCode"));
    tel->ofType = static_cast<int16_t>(r.Number("ofType"));
    tel->extraCode = static_cast<uint8_t>(r.Number("extraCode"));
    const std::string hex = r.Text("userData");
    std::size_t length = 0;
    for (std::size_t i = 0; i + 1 < hex.size() && length < tel->userData.size(); i += 2) {
        try {
            tel->userData[length++] = static_cast<uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16));
        } catch (const std::exception&) {
            --length;
            break;
        }
    }
    tel->userDataLen = static_cast<int16_t>(length);
    tel->interfaceType = static_cast<int16_t>(r.Number("interfaceType"));
    tel->signalLevel = static_cast<int16_t>(r.Number("signalLevel"));
    tel->remaining = static_cast<int16_t>(r.Number("remaining"));
    tel->code = static_cast<int16_t>(r.Number("code"));
    tel->value = static_cast<int16_t>(r.Number("value"));
    tel->text = r.Text("text");
    return tel;
}

void WriteGsm(const CGsmHandlerMsg& gsm, Fields& f)
{
    f.emplace_back("smsNumber", gsm.smsNumber);
    f.emplace_back("smsDate", gsm.smsDate);
    f.emplace_back("smsTime", gsm.smsTime);
    f.emplace_back("smsText", gsm.smsText);
}

std::unique_ptr<CMsg> ReadGsm(uint16_t type, const CFieldReader& r)
{
    auto gsm = std::make_unique<CGsmHandlerMsg>(type);
    gsm->smsNumber = r.Text("smsNumber");
    gsm->smsDate = r.Text("smsDate");
    gsm->smsTime = r.Text("smsTime");
    gsm->smsText = r.Text("smsText");
    return gsm;
}

}  // namespace

bool CAlarmJournalCodec::IsAlarmBearing(uint16_t msgType)
{
    return msgType == TEL_ALARM || msgType == GSM_SMS_RECEIVED || msgType == GSM_CALLER_ID;
}

CAlarmJournal::Record CAlarmJournalCodec::ToRecord(const CMsg& msg)
{
    CAlarmJournal::Record record;
    record.type = msg.GetType();
    if (const auto* tel = dynamic_cast<const CTelHandlerMsg*>(&msg); tel != nullptr && record.type == TEL_ALARM)
        WriteTel(*tel, record.fields);
    else if (const auto* gsm = dynamic_cast<const CGsmHandlerMsg*>(&msg); gsm != nullptr)
        WriteGsm(*gsm, record.fields);
    return record;
}

std::unique_ptr<CMsg> CAlarmJournalCodec::FromRecord(const CAlarmJournal::Record& record)
{
    const CFieldReader reader(record.fields);
    std::unique_ptr<CMsg> msg;
    switch (record.type) {
    case TEL_ALARM:
        msg = ReadTel(reader);
        break;
    case GSM_SMS_RECEIVED:
    case GSM_CALLER_ID:
        msg = ReadGsm(record.type, reader);
        break;
    default:
        return nullptr;
    }
    auto& handlerMsg = static_cast<CHandlerMsg&>(*msg);
    handlerMsg.journalId = record.id;
    handlerMsg.takenAt = record.time;
    return msg;
}
