#include "ui/ExportObjectInfoLine.h"

#include "db/ObjectInfoMsg.h"

#include <cstdio>

namespace exportline {

namespace {

const char* YesNo(int32_t value)
{
    return value != 0 ? "TRUE" : "FALSE";
}

}  // namespace

std::string FieldValue(const CObjectInfoMsg& object, int field)
{
    switch (field) {
    case 0:
        return object.IdCode;
    case 1:
        return object.IdInfo;
    case 2:
        return object.Address;
    case 3: {
        char days[16];
        std::snprintf(days, sizeof days, "%02d", static_cast<int>(object.Days));
        return days;
    }
    case 4:
        return YesNo(object.TestAlarmOnly);
    case 5:
        return YesNo(object.AlarmPopUpEnabled);
    case 6:
        return object.MailAddrTech;
    case 7:
        return object.SmsNumTech;
    case 8:
        return object.MailAddrEmg;
    case 9:
        return object.SmsNumEmg;
    case 10:
        return object.Notes;
    case 11:
        return object.ElevatorType;
    case 12:
        return object.Customer;
    default:
        return {};
    }
}

std::string QuoteField(std::string_view value, char separator)
{
    const char special[] = {separator, '"', '\r', '\n', '\0'};
    if (value.find_first_of(std::string_view(special, 4)) == std::string_view::npos)
        return std::string(value);
    std::string quoted = "\"";
    for (const char c : value) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    quoted += '"';
    return quoted;
}

std::string BuildLine(const CObjectInfoMsg& object, const FieldSet& fields, char separator)
{
    std::string line;
    bool first = true;
    for (int field = 0; field < kFieldCount; ++field) {
        if (!fields[static_cast<std::size_t>(field)])
            continue;
        if (!first)
            line += separator;
        first = false;
        line += QuoteField(FieldValue(object, field), separator);
    }
    return line;
}

}  // namespace exportline
