#include "db/DbConvert.h"

#include "core/TextLookup.h"
#include "db/DbErrorReporter.h"
#include "db/DbProgressList.h"
#include "db/DbSchema.h"

#include <cstdio>
#include <string_view>

namespace {

// The dictionary's format with its one "%s" replaced by the argument. The
// dictionary is edited by people: a text with any other conversion is shown
// as it stands instead of being handed to printf.
std::string FormatWithText(const std::string& format, const std::string& argument)
{
    std::string result;
    bool used = false;
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%') {
            result += format[i];
            continue;
        }
        if (i + 1 < format.size() && format[i + 1] == '%') {
            result += '%';
            ++i;
        } else if (i + 1 < format.size() && format[i + 1] == 's' && !used) {
            result += argument;
            used = true;
            ++i;
        } else {
            return format;
        }
    }
    return result;
}

struct CreateStep {
    const char* progressKey;
    const char* errorKey;
    const char* table;  // nullptr: the database file itself
};

const CreateStep kSteps[] = {
    {"IDS_DBCONVERT_MSG_1", "IDS_DBCONVERT_MSG_2", nullptr},
    {"IDS_DBCONVERT_MSG_3", "IDS_DBCONVERT_MSG_4", "ObjectInfo"},
    {"IDS_DBCONVERT_MSG_5", "IDS_DBCONVERT_MSG_6", "CustomerInfo"},
    {"IDS_DBCONVERT_MSG_7", "IDS_DBCONVERT_MSG_8", "MailInfo"},
    {"IDS_DBCONVERT_MSG_9", "IDS_DBCONVERT_MSG_10", "SmsNumberInfo"},
    {"IDS_DBCONVERT_MSG_11", "IDS_DBCONVERT_MSG_12", "AlarmInfo"},
};

}  // namespace

CDbConvert::CDbConvert() = default;

CDbConvert::~CDbConvert() = default;

int CDbConvert::CopyData()
{
    return 0;
}

void CDbConvert::AddProgress(const std::string& text)
{
    if (progressList != nullptr)
        progressList->AddProgressLine(text);
}

void CDbConvert::AddProgressText(const char* key)
{
    AddProgress(LookupText(key));
}

void CDbConvert::ShowError(const std::string& text)
{
    if (errorReporter != nullptr)
        errorReporter->ShowDbError(text);
    else
        std::fprintf(stderr, "%s\n", text.c_str());
}

int CDbConvert::CreateDatabase()
{
    const std::string file = DbSchema::DatabaseFile(path);
    for (const CreateStep& step : kSteps) {
        if (step.table == nullptr)
            AddProgress(FormatWithText(LookupText(step.progressKey), DbSchema::kDatabaseFileName));
        else
            AddProgressText(step.progressKey);
        try {
            if (step.table == nullptr)
                database.Create(file);
            else
                database.Execute(QString::fromStdString(DbSchema::CreateTableStatement(DbSchema::Table(step.table))));
        } catch (const CDbException& e) {
            ShowError(e.description);
            AddProgressText(step.errorKey);
            database.Close();
            return 0;
        }
    }
    database.Close();
    return 1;
}
