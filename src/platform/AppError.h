#pragma once

#include <stdexcept>
#include <string>

// The one error type of the program: every failure a user may meet (the database,
// a value that cannot be converted) is raised as an AppError whose message can be
// shown to the user as it stands.
class AppError : public std::runtime_error
{
public:
    explicit AppError(const std::string& message) : std::runtime_error(message) { }
};
