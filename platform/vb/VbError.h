// Run-time errors numbered and worded the way the program's log lines expect ("Err" + name + number + text).
#pragma once

#include <stdexcept>
#include <string>

namespace kalvo {

// The numbers the program raises and logs; descriptions come from vbErrorDescription().
enum VbErrorNumber : int {
    VbReturnWithoutGoSub = 3,
    VbInvalidProcedureCall = 5,
    VbOverflow = 6,
    VbOutOfMemory = 7,
    VbSubscriptOutOfRange = 9,
    VbDivisionByZero = 11,
    VbTypeMismatch = 13,
    VbBadFileNameOrNumber = 52,
    VbFileNotFound = 53,
    VbBadFileMode = 54,
    VbFileAlreadyOpen = 55,
    VbDeviceIoError = 57,
    VbFileAlreadyExists = 58,
    VbDiskFull = 61,
    VbInputPastEndOfFile = 62,
    VbPermissionDenied = 70,
    VbPathFileAccessError = 75,
    VbPathNotFound = 76,
    VbObjectVariableNotSet = 91,
    VbInvalidPropertyValue = 380,
    VbObjectDoesNotSupportProperty = 438,
    VbApplicationDefined = 1004,
};

// The standard description of a run-time error number; "Application-defined or object-defined error"
// for numbers without one.
std::string vbErrorDescription(int number);

// A run-time error: a number and its description. Components raise it to the program, whose
// error handler logs it and carries on.
class VbError : public std::runtime_error
{
public:
    explicit VbError(int number);
    VbError(int number, const std::string& description);

    int number() const { return m_number; }
    const std::string& description() const { return m_description; }

private:
    int m_number;
    std::string m_description;
};

} // namespace kalvo
