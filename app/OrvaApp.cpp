#include "app/OrvaApp.h"

#include "db/DatabaseMgrHost.h"
#include "db/DbSchema.h"
#include "dictionary/Dictionary.h"
#include "settings/RegistryValueStr.h"

COrvaApp::COrvaApp(CommandLine commandLine, std::ostream& out, std::ostream& errorStream)
    : options(std::move(commandLine)), err(errorStream), screen(out)
{
}

COrvaApp::~COrvaApp()
{
    // The managers stop before the screen they write to goes.
    document.reset();
}

int COrvaApp::Fail(int code, const std::string& reason)
{
    err << reason << "\n";
    err.flush();
    return code;
}

int COrvaApp::Startup()
{
    CDictionary& dictionary = CDictionary::Instance();
    const bool loaded = loadDictionary ? loadDictionary() : dictionary.Load();
    if (!loaded)
        return Fail(ORVA_EXIT_DICTIONARY, "Error loading dictionary, application will exit!");
    SelectStartupLanguage([&dictionary](const std::string& language) { return dictionary.SetLanguage(language); });
    dictionary.InstallAsTextLookup();
    // Only now: the windows translate their texts as they are built.
    CDocumentScreen* windowScreen = createWindows ? createWindows() : nullptr;

    if (windowScreen == nullptr) {
        if (writeSystemInfoLog)
            screen.OpenSystemInfoLog();
        document = std::make_unique<COrvaDoc>(screen);
        // Nobody is there to correct a setting: what the managers switch off
        // stays off for this run only.
        document->SetSettingsPersistent(false);
    } else {
        // The system information panel keeps the log; the event lines are
        // still written.
        document = std::make_unique<COrvaDoc>(*windowScreen);
        if (attachWindows)
            attachWindows(*document);
    }
    document->UpdateTitle();
    document->Screen().Beep(BeepKind::Default);

    if (options.operatorName) {
        document->SetStartupOperator(*options.operatorName, true);
    } else if (windowScreen == nullptr) {
        const std::string last = document->Settings().LastOperator;
        document->SetStartupOperator(last.empty() ? kDefaultOperator : last, false);
    }

    if (document->RunStartChain() == 1) {
        screen.WriteEvent("READY", "");
        return ORVA_EXIT_OK;
    }
    switch (document->GetFailedStep()) {
    case StartStep::Operator:
        return Fail(ORVA_EXIT_OPERATOR, "orva: no operator on duty was chosen; the station does not start");
    case StartStep::Database:
        return Fail(ORVA_EXIT_DATABASE, DatabaseFailure());
    case StartStep::Mail:
        return Fail(ORVA_EXIT_MAIL, "orva: the mail handler did not start");
    default:
        return Fail(ORVA_EXIT_START, "orva: the start-up failed");
    }
}

std::string COrvaApp::DatabaseFailure()
{
    const std::string folder = document->Settings().DatabasePath;
    switch (screen.GetLastDatabaseReason()) {
    case DBMGRDLG_REASON_INVALID_PATH:
        return "orva: the database folder " + folder + " does not exist";
    case DBMGRDLG_REASON_BAD_DATABASE:
        return "orva: " + DbSchema::DatabaseFile(folder) + " is not a database";
    case DBMGRDLG_REASON_NO_DATABASE:
    case DBMGRDLG_REASON_OLD_VERSION:
        return "orva: the database could not be created in " + folder;
    default:
        break;
    }
    const std::string& why = document->GetDatabaseMgr().GetLastError();
    return "orva: the database in " + folder + " could not be opened" + (why.empty() ? "" : ": " + why);
}

int COrvaApp::Shutdown()
{
    if (document) {
        document->CloseDocument();
        screen.WriteEvent("STOPPED", "");
        document.reset();
    }
    return ORVA_EXIT_OK;
}
