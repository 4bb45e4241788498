#pragma once
// Exception types of the model. Commands catch them and report with their own
// message ("Error during loading!", "Sorry - Math Error!"); anything else reaches the
// application's general error report.
#include <stdexcept>
#include <string>
#include <utility>

// An index outside 0..2052 (samples), 0..32 (windows) or 0..256 (channels).
class ERangeError : public std::out_of_range {
public:
    explicit ERangeError(const std::string& what = "Range check error") : std::out_of_range(what) {}
};

// Text that is not a number where one is required.
class EConvertError : public std::runtime_error {
public:
    explicit EConvertError(const std::string& what) : std::runtime_error(what) {}
};

// A command that ends because of a failure that was already reported to the user,
// or whose text is the report (for example "Too many data!").
class EAbort : public std::runtime_error {
public:
    explicit EAbort(const std::string& what) : std::runtime_error(what) {}
};

// Input/output failure (file missing, unreadable, not writable). Path: the file's name
// or path as the file system's bytes, where what quotes it.
class EInOutError : public std::runtime_error {
public:
    explicit EInOutError(const std::string& what, std::string path = {})
        : std::runtime_error(what), Path(std::move(path)) {}
    std::string Path;
};

// No room for another image window; the user has been told ("Too many Data!"). A load
// stops at it instead of trying every remaining channel.
class ETooManyWindows : public EAbort {
public:
    ETooManyWindows() : EAbort("Too many data!") {}
};
