// Standard run-time error descriptions.
#include "VbError.h"

namespace kalvo {

std::string vbErrorDescription(int number)
{
    switch (number) {
    case VbReturnWithoutGoSub:
        return "Return without GoSub";
    case VbInvalidProcedureCall:
        return "Invalid procedure call or argument";
    case VbOverflow:
        return "Overflow";
    case VbOutOfMemory:
        return "Out of memory";
    case VbSubscriptOutOfRange:
        return "Subscript out of range";
    case VbDivisionByZero:
        return "Division by zero";
    case VbTypeMismatch:
        return "Type mismatch";
    case VbBadFileNameOrNumber:
        return "Bad file name or number";
    case VbFileNotFound:
        return "File not found";
    case VbBadFileMode:
        return "Bad file mode";
    case VbFileAlreadyOpen:
        return "File already open";
    case VbDeviceIoError:
        return "Device I/O error";
    case VbFileAlreadyExists:
        return "File already exists";
    case VbDiskFull:
        return "Disk full";
    case VbInputPastEndOfFile:
        return "Input past end of file";
    case VbPermissionDenied:
        return "Permission denied";
    case VbPathFileAccessError:
        return "Path/File access error";
    case VbPathNotFound:
        return "Path not found";
    case VbObjectVariableNotSet:
        return "Object variable or With block variable not set";
    case VbInvalidPropertyValue:
        return "Invalid property value";
    case VbObjectDoesNotSupportProperty:
        return "Object doesn't support this property or method";
    default:
        return "Application-defined or object-defined error";
    }
}

VbError::VbError(int number) : VbError(number, vbErrorDescription(number)) {}

VbError::VbError(int number, const std::string& description)
    : std::runtime_error(std::to_string(number) + " " + description), m_number(number),
      m_description(description)
{
}

} // namespace kalvo
