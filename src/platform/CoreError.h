#pragma once
// The one exception type of the core. Routines that let an error pass to their caller throw
// it; routines that catch every error catch it (and std::exception) and turn it into a result.

#include <stdexcept>
#include <string>

enum class ErrorKind {
    TypeMismatch,
    Overflow,
    InvalidArgument,
    DivisionByZero,
    FileError,
    InputPastEnd,
};

class CoreError : public std::runtime_error {
public:
    CoreError(ErrorKind kind, const std::string& description)
        : std::runtime_error(description), kind_(kind) {}
    ErrorKind Kind() const { return kind_; }
    // The short human description, as shown after "Error in ... : ".
    std::string Description() const { return what(); }

private:
    ErrorKind kind_;
};
