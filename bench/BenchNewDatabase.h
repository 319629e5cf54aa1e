#pragma once

// An empty database for the benchmarks that fill one of their own, made as the program makes
// the user's first one.

#include "platform/AppError.h"
#include "platform/DataFolder.h"

#include <QString>

#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>

namespace bench {

// Ends the benchmark with SQLite's message when a call failed.
inline void Check(int rc, sqlite3* db, const char* what)
{
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
        std::fprintf(stderr, "%s: %s\n", what, sqlite3_errmsg(db));
        std::exit(1);
    }
}

// Makes the folder's database with the schema's empty tables and opens it; the caller closes it.
inline sqlite3* OpenNewDatabase(const QString& folder)
{
    try {
        MakeDatabase(folder);
    } catch (const AppError& e) {
        std::fprintf(stderr, "%s\n", e.what());
        std::exit(1);
    }
    sqlite3* db = nullptr;
    Check(sqlite3_open(DatabaseFileIn(folder).toUtf8().constData(), &db), db, "open");
    return db;
}

} // namespace bench
