#pragma once
// One line of the object export: the values of the ticked fields, in the
// order of the field list, with one separator between two of them.
//
// A value is written as it is stored. Only a value that holds the separator,
// a double quote, a carriage return or a line feed is written between double
// quotes with each of its double quotes doubled, so that a note with a line
// break or an address with the separator stays one field for every program
// that reads the file as comma- or semicolon-separated values. Every other
// value looks exactly as without quoting.

#include <array>
#include <string>
#include <string_view>

class CObjectInfoMsg;

namespace exportline {

// The export fields in list order, with their title keys.
inline constexpr int kFieldCount = 13;
inline constexpr std::array<const char*, kFieldCount> kTitleKeys = {
    "IDS_EXPORTOBJECTINFODLG_MSG_1",  "IDS_EXPORTOBJECTINFODLG_MSG_2",  "IDS_EXPORTOBJECTINFODLG_MSG_3",
    "IDS_EXPORTOBJECTINFODLG_MSG_4",  "IDS_EXPORTOBJECTINFODLG_MSG_5",  "IDS_EXPORTOBJECTINFODLG_MSG_6",
    "IDS_EXPORTOBJECTINFODLG_MSG_7",  "IDS_EXPORTOBJECTINFODLG_MSG_8",  "IDS_EXPORTOBJECTINFODLG_MSG_9",
    "IDS_EXPORTOBJECTINFODLG_MSG_10", "IDS_EXPORTOBJECTINFODLG_MSG_11", "IDS_EXPORTOBJECTINFODLG_MSG_12",
    "IDS_EXPORTOBJECTINFODLG_MSG_13",
};
// Field positions of the default choice: ID Code and ID Info.
inline constexpr int kIdCode = 0;
inline constexpr int kIdInfo = 1;

using FieldSet = std::array<bool, kFieldCount>;

// The value of field position `field` of the object as the file holds it
// (before quoting): texts as stored, the days as "%02d", the two switches
// as "TRUE" or "FALSE".
std::string FieldValue(const CObjectInfoMsg& object, int field);

// The value as one field of a line with this separator (see above).
std::string QuoteField(std::string_view value, char separator);

// The line of the object, without its line end.
std::string BuildLine(const CObjectInfoMsg& object, const FieldSet& fields, char separator);

}  // namespace exportline
