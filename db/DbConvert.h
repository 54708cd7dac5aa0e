#pragma once
// Creates a new, empty database with its five tables. The database manager
// dialog runs it when no database file is found; CDbConvertVer01 adds the
// copying of an older installation's data.

#include "db/Database.h"

#include <string>

class CDbErrorReporter;
class CDbProgressList;

class CDbConvert {
public:
    CDbConvert();
    virtual ~CDbConvert();
    CDbConvert(const CDbConvert&) = delete;
    CDbConvert& operator=(const CDbConvert&) = delete;

    // Copies the data of an older installation; this class has none: 0.
    virtual int CopyData();
    // Creates folder + "ORVA_10.mdb" and its tables, one progress line per
    // step, stopping at the first failed step. 1 on success, else 0.
    int CreateDatabase();

    void SetPath(const std::string& folder) { path = folder; }
    void SetOperator(const std::string& name) { operatorName = name; }
    void SetProgressList(CDbProgressList* list) { progressList = list; }
    void SetErrorReporter(CDbErrorReporter* reporter) { errorReporter = reporter; }
    const std::string& GetPath() const { return path; }

protected:
    void AddProgress(const std::string& text);
    void AddProgressText(const char* key);
    void ShowError(const std::string& text);

    CDatabase database;
    CDbProgressList* progressList = nullptr;
    std::string path;
    std::string operatorName;
    CDbErrorReporter* errorReporter = nullptr;
};
