#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>

// A running timing written down beside the database, so that a crash, a kill or the end of the
// session does not lose it: Tallyclock.timing, a few lines of text that another program may read.
// It exists only while a timing runs that nobody has yet ended, stored or discarded.
// Qt Core and POSIX only, so that other programs over the same data can use it.
struct WrittenTiming
{
    qint32 projectID = 0; // the project it is timed for; 0 = none was active
    double start = 0; // moments, as the program keeps them
    double lastSeen = 0; // the last moment the program was known to run
};

// The file in a data folder given without a trailing "/".
QString TimingFileIn(const QString& folder);

// Replaces the folder's file as a whole: a reader, a crash or a power cut finds the old file or
// the new one, never a part. Raises an AppError naming the file and the reason; the old file is
// then left as it was.
void WriteTimingFile(const QString& folder, const WrittenTiming& timing);

// Removes the folder's file, for good even across a power cut; no file is no error. Raises an
// AppError naming the file and the reason when it stays.
void RemoveTimingFile(const QString& folder);

// The timing written down in the folder; none when there is no file. A file that cannot be read
// as a timing is renamed aside, never removed, and an AppError says so in one line.
std::optional<WrittenTiming> ReadTimingFile(const QString& folder);

// The same for a look from outside, which changes nothing: none also when the file cannot be
// read as a timing.
std::optional<WrittenTiming> PeekTimingFile(const QString& folder);
