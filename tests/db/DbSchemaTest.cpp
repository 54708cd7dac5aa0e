// Where the files of the database folder setting lie.

#include "db/DbSchema.h"

#include <gtest/gtest.h>

#include <string>

TEST(DbSchema, FilesOfTheDatabaseFolderWhateverTheSettingEndsWith)
{
    struct Case {
        const char* setting;
        const char* folder;
        const char* database;
    };
    const Case cases[] = {
        {"/srv/orva/", "/srv/orva/", "/srv/orva/ORVA_10.mdb"},
        // Hand-edited or from an older settings file: no separator at the end.
        {"/srv/orva", "/srv/orva/", "/srv/orva/ORVA_10.mdb"},
        {"/srv/orva//", "/srv/orva/", "/srv/orva/ORVA_10.mdb"},
        {"station", "station/", "station/ORVA_10.mdb"},
        // A path that names a file: the database would be inside it, which
        // cannot be, instead of a new file beside it.
        {"/etc/passwd", "/etc/passwd/", "/etc/passwd/ORVA_10.mdb"},
        {"/", "/", "/ORVA_10.mdb"},
        {"", "./", "./ORVA_10.mdb"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.setting);
        EXPECT_EQ(DbSchema::DatabaseFolder(c.setting), c.folder);
        EXPECT_EQ(DbSchema::DatabaseFile(c.setting), c.database);
    }
    EXPECT_EQ(DbSchema::FileInDatabaseFolder("/srv/orva", DbSchema::kLegacyObjectFile), "/srv/orva/IdInfo.dat");
}
