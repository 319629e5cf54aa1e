#pragma once

#include <QDate>
#include <QString>

#include <functional>

// Where the program keeps its database. A portable copy keeps it beside the executable; an
// installed program, whose own folder is read-only, keeps it in the user's data folder.
// Qt Core and SQLite only, so that other programs over the same data can use it.

// A base folder of the user's: $variable when it holds an absolute path, else the folder
// underHome in the home folder. A relative value is ignored, as the XDG rules say, or each
// working folder would get data of its own.
QString XdgFolder(const char* variable, const char* underHome);

// Makes the folder and any missing parent, each for its owner only, as the XDG base folders are
// made. Raises an AppError naming the folder and the reason when it cannot.
void MakeFolder(const QString& folder);

// The user's data folder for the program: $XDG_DATA_HOME/tallyclock.
QString UserDataFolder();

// The folder whose database a program in programFolder uses, without a trailing "/": the
// program's folder when a Tallyclock.mdb lies in it, otherwise the user's data folder. Looks
// only; makes nothing.
QString DatabaseFolderFor(const QString& programFolder);

// The folder that holds the database, without a trailing "/": the program's folder when a
// Tallyclock.mdb lies in it, otherwise the user's data folder, made ready on its first use
// (MakeDatabase). From then on it is the DataFolder. Raises an AppError naming the path and
// the reason when the folder cannot be used.
QString OpenDataFolder(const QString& programFolder);

// The folder chosen by OpenDataFolder; the program's own folder before that.
QString DataFolder();

// The database file in a folder given without a trailing "/".
QString DatabaseFileIn(const QString& folder);

// Makes the folder (only its owner may enter it) and an empty database in it, unless a
// Tallyclock.mdb is already there: that is never touched. The file appears complete or not
// at all, even when two programs make it at once.
void MakeDatabase(const QString& folder);

// The daily copy of the folder's database: backups/Tallyclock-YYYY-MM-DD.mdb beside it, made
// once a day, of a database that the program opens, and only into a real folder. Of the
// backups dated today or before, the newest seven are kept; later-dated ones are left alone,
// and so is any file that bears another name. Copies in small steps between which the
// program may write, and asks goOn before each further step: false stops it, leaving nothing.
// A failure stops nothing: one line on standard error.
void BackUpDatabase(const QString& folder, const QDate& today, const std::function<bool()>& goOn = {});
