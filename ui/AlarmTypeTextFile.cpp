#include "ui/AlarmTypeTextFile.h"

#include "core/TextEncoding.h"
#include "core/TextLookup.h"
#include "messages/AlarmInfoMsg.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iterator>
#include <string_view>
#include <system_error>

namespace {

constexpr const char* kLineEnd = "\r\n";

// The dictionary key of each slot's default text.
constexpr std::array<const char*, CAlarmTypeTextFile::kSlotCount> kSlotKeys = {
    "IDS_MAINVIEW_MSG_1", "IDS_MAINVIEW_MSG_2", "IDS_MAINVIEW_MSG_3", "IDS_MAINVIEW_MSG_4", "IDS_MAINVIEW_MSG_6",
    "IDS_MAINVIEW_MSG_5", "IDS_MAINVIEW_MSG_7", "IDS_MAINVIEW_MSG_8", "IDS_MAINVIEW_MSG_9", "IDS_MAINVIEW_MSG_10",
};

struct Block {
    int slot;
    const char* label;
    const char* typeName;  // in the comment above the block
};

// The blocks in the order the file lists them (the Lift Monitoring System
// block comes before the Test block although its slot is after it).
constexpr std::array<Block, CAlarmTypeTextFile::kSlotCount> kBlocks = {{
    {0, "P100Alarm", "P100"},
    {1, "SMSAlarm", "SMS"},
    {2, "VoiceCallAlarm", "Voice"},
    {3, "OpFailAlarm", "OpFail"},
    {5, "LiftControllerAlarm", "Lift Monitoring System"},
    {4, "TestAlarm", "Test"},
    {6, "TestAlarmFailure", "Test fail"},
    {7, "StartOfAlarm", "Emergency Call Activated"},
    {8, "EndOfAlarm", "End of Alarm"},
    {9, "Maintenance", "Maintenance"},
}};

constexpr std::array<const char*, 7> kIntroduction = {
    "// AlarmTypeText.ini - Contains the text lines displayed in the alarm dialog.",
    "// Lines starting with '//' is a comment line.",
    "// Lines starting with ':' is a block label line.",
    "// Lines following a block label is the text lines that will be displayed",
    "// in the alarm dialog according to the alarm type.",
    "// Edit the default text as needed.",
    "// NOTE! DO NOT edit the block labels.",
};

bool EqualNoCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

// The slot of a label, or -1 for a label that matches none.
int SlotOfLabel(std::string_view label)
{
    // Blanks an editor left after the label are invisible to whoever edits
    // the file; they must not make the block vanish.
    while (!label.empty() && (label.back() == ' ' || label.back() == '\t'))
        label.remove_suffix(1);
    for (const Block& block : kBlocks) {
        if (EqualNoCase(label, block.label))
            return block.slot;
    }
    return -1;
}

}  // namespace

CAlarmTypeTextFile::CAlarmTypeTextFile()
{
    SetDefaults();
}

void CAlarmTypeTextFile::SetDefaults()
{
    for (std::size_t slot = 0; slot < texts.size(); ++slot)
        texts[slot] = LookupText(kSlotKeys[slot]);
}

CAlarmTypeTextFile::LoadResult CAlarmTypeTextFile::Load(const std::filesystem::path& folder)
{
    const std::filesystem::path file = folder.empty() ? std::filesystem::path(kFileName) : folder / kFileName;
    if (Read(file))
        return LoadResult::Read;
    // Only a missing file is written: one that is there but cannot be read
    // may hold an engineer's texts, which must not be overwritten.
    std::error_code error;
    if (std::filesystem::symlink_status(file, error).type() != std::filesystem::file_type::not_found)
        return LoadResult::NotCreated;
    return Write(file) ? LoadResult::Created : LoadResult::NotCreated;
}

bool CAlarmTypeTextFile::Read(const std::filesystem::path& file)
{
    std::error_code error;
    if (std::filesystem::is_directory(file, error))
        return false;
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return false;
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad())
        return false;
    Parse(TextEncoding::FileTextToUtf8(bytes));
    return true;
}

void CAlarmTypeTextFile::Parse(const std::string& text)
{
    constexpr int kBeforeFirstLabel = -2;
    constexpr int kUnknownLabel = -1;
    int slot = kBeforeFirstLabel;
    std::string block;
    auto finishBlock = [&] {
        if (slot >= 0)
            texts[static_cast<std::size_t>(slot)] = block;
        block.clear();
    };

    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string_view line(text.data() + start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);

        if (!line.empty() && line.front() == ':') {
            finishBlock();
            slot = SlotOfLabel(line.substr(1));
        } else if (line.starts_with("//")) {
            continue;
        } else if (slot != kBeforeFirstLabel && slot != kUnknownLabel) {
            block.append(line);
            block.append(kLineEnd);
        }
    }
    finishBlock();
}

std::string CAlarmTypeTextFile::FileContent() const
{
    std::string content;
    for (const char* line : kIntroduction) {
        content += line;
        content += kLineEnd;
    }
    content += kLineEnd;
    for (const Block& block : kBlocks) {
        content += ':';
        content += block.label;
        content += kLineEnd;
        content += "// The following line(s) belongs to the '";
        content += block.typeName;
        content += "' alarm type";
        content += kLineEnd;
        const std::string& header = texts[static_cast<std::size_t>(block.slot)];
        content += header;
        // A text without its own line end would swallow the next label and
        // lose that block when the file is read back.
        if (!header.empty() && header.back() != '\n')
            content += kLineEnd;
    }
    return content;
}

bool CAlarmTypeTextFile::Write(const std::filesystem::path& file) const
{
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    if (!out)
        return false;
    const std::string content = FileContent();
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    out.close();
    return !out.fail();
}

int CAlarmTypeTextFile::SlotOf(uint8_t alarmType)
{
    switch (alarmType) {
    case ALARMTYPE_P100:
        return 0;
    case ALARMTYPE_SMS:
        return 1;
    case ALARMTYPE_VOICE:
    case ALARMTYPE_VOICE_REDIRECTED:
        return 2;
    case ALARMTYPE_OPFAIL:
        return 3;
    case ALARMTYPE_TEST:
        return 4;
    case ALARMTYPE_LIFT_MONITORING:
        return 5;
    case ALARMTYPE_TEST_FAIL:
        return 6;
    case ALARMTYPE_EMERGENCY_CALL:
        return 7;
    case ALARMTYPE_END_OF_ALARM:
        return 8;
    case ALARMTYPE_MAINTENANCE:
        return 9;
    default:
        return -1;
    }
}

std::string CAlarmTypeTextFile::HeaderText(uint8_t alarmType) const
{
    const int slot = SlotOf(alarmType);
    return slot < 0 ? std::string() : texts[static_cast<std::size_t>(slot)];
}
