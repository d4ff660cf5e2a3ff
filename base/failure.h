#pragma once
// A failure inside a trapped handler: a C++ exception carrying the description
// that the error report box shows.

#include <stdexcept>
#include <string>

namespace qf {

class Failure : public std::runtime_error {
public:
    explicit Failure(const std::string& description) : std::runtime_error(description) {}
};

// Descriptions the program's building blocks raise, worded as the desktop's
// automation runtime words them, so that a report reads the same whichever
// layer failed.
namespace failure_text {
inline constexpr const char* kTypeMismatch = "Type mismatch";
inline constexpr const char* kSubscriptOutOfRange = "Subscript out of range";
inline constexpr const char* kNotSupported = "Object doesn't support this property or method";
inline constexpr const char* kObjectNotSet = "Object variable or With block variable not set";
inline constexpr const char* kCannotCreateObject = "ActiveX component can't create object";
inline constexpr const char* kArgumentNotOptional = "Argument not optional";
inline constexpr const char* kWrongArguments = "Wrong number of arguments or invalid property assignment";
inline constexpr const char* kInvalidArgument = "Invalid procedure call or argument";
inline constexpr const char* kIndexOutOfBounds = "Index out of bounds";
inline constexpr const char* kOutOfMemory = "Out of memory";
inline constexpr const char* kFileNotFound = "File not found";
inline constexpr const char* kPathFileAccess = "Path/File access error";
inline constexpr const char* kPermissionDenied = "Permission denied";
inline constexpr const char* kDeviceIo = "Device I/O error";
inline constexpr const char* kInvalidPicture = "Invalid picture";
}  // namespace failure_text

}  // namespace qf
