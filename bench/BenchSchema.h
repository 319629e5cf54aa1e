#pragma once

// A database made from db/schema.sql, for the benchmarks that fill one of their own.

#include <QFile>
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

// Opens a new database file at path holding the schema's empty tables; the caller closes it.
inline sqlite3* DatabaseFromSchema(const QString& path, const QString& schemaPath)
{
    QFile schema(schemaPath);
    if (!schema.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", qPrintable(schema.fileName()));
        std::exit(1);
    }
    sqlite3* db = nullptr;
    Check(sqlite3_open(path.toUtf8().constData(), &db), db, "open");
    Check(sqlite3_exec(db, schema.readAll().constData(), nullptr, nullptr, nullptr), db, "schema");
    return db;
}

} // namespace bench
