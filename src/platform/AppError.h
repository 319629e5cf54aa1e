#pragma once

#include <cerrno>
#include <stdexcept>
#include <string>

// What went wrong, for code that acts on a failure without reading its message.
enum class ErrorKind {
    Other, // none of those below: a step out of order, a missing selection
    BadInput, // a text or value that cannot be read or used as it stands
    Locked, // another program holds the file
    ReadOnly, // the file or its disk may not be written
    Full, // no room is left on the disk
    Damaged, // the file's content is broken
    NotADatabase, // the file is no database of the program's (a folder, another kind of file)
    Refused, // a rule refused the change: one of the database's, or one of the program's own
    CannotOpen, // the file or folder is missing, or cannot be opened, read or written
};

// The one error type of the program: every failure a user may meet (the database,
// a value that cannot be converted) is raised as an AppError whose message can be
// shown to the user as it stands, and whose kind tells what went wrong.
class AppError : public std::runtime_error
{
public:
    explicit AppError(const std::string& message, ErrorKind kind = ErrorKind::Other)
        : std::runtime_error(message), kind_(kind)
    { }
    ErrorKind Kind() const { return kind_; }

private:
    ErrorKind kind_;
};

// The kind of a failed system call's errno.
inline ErrorKind KindOfErrno(int error)
{
    switch (error) {
    case EROFS:
        return ErrorKind::ReadOnly;
    case ENOSPC:
    case EDQUOT:
        return ErrorKind::Full;
    default:
        return ErrorKind::CannotOpen;
    }
}
