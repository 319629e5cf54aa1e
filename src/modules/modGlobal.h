#pragma once

#include <QString>
#include <QtGlobal>

// The module procedures shared by the windows.

// The folder of the program's database (DataFolder: the executable's own folder for a portable
// copy, otherwise the user's data folder), always ending in exactly one "/".
QString GetAppPath();

// "DRIVER=Microsoft Access Driver (*.mdb);DBQ=" + the folder + "Tallyclock.mdb;", quoted as
// ConnectionStringForFile quotes any path.
QString ConnectionStringFor(const QString& appPath);

// Reads every project with its total time (in days) into gProjects, in name order.
void LoadProjects();

// Days to minutes; raises an AppError when the result is not a finite number.
double DaysToMinutes(double days);

// Stores a new project; an empty description is stored as one blank.
void AddProjectRecord(const QString& name, const QString& description);

// The statement that stores one time period, the moments given as date texts.
QString TimePeriodInsertSql(qint32 projectID, const QString& startText, const QString& endText);

// Stores one time period of a project.
void AddTimePeriodRecord(qint32 projectID, double startTime, double endTime);

// Deletes a project's time periods and then the project, in one transaction: both or neither.
void DeleteProjectRecord(qint32 projectID);

// A text value as SQL text: in single quotes, every single quote inside doubled.
QString SqlText(const QString& value);

// The ID in a list entry's key: the number after the three letters "KEY".
qint32 IDFromKey(const QString& key);

// A list entry's key for an ID: "KEY" followed by the ID in decimal.
QString KeyFromID(qint32 id);

// Rebuilds the main window's project list from gProjects: one entry per project, keyed by its
// ID, with its total time in minutes. Selects no entry.
void FillProjectList();

// Replaces the details dialog's list with the time periods of a project, in start order.
void LoadTimePeriods(qint32 ProjectID);
