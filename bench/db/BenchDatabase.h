#pragma once

#include "../BenchNewDatabase.h"

#include <QString>

// The benchmarks' large database: 1,000 projects of 1,000 periods each and one more project
// with 100,000 periods, made once in a folder and reused.
constexpr int kProjects = 1000;
constexpr int kPeriodsEach = 1000;
constexpr int kBigProject = 100000;

// The path of the database in the folder, made first when it is not there.
QString BenchDatabase(const QString& folder);

// The benchmarks' folder: the first argument, else tallyclock-bench in the temporary folder.
// Makes its database when missing and prints what it holds and how often each run repeats.
QString BenchFolder(int argc, char* argv[], int runs);
