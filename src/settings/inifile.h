#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace kelvalog {

// A write to the settings file failed; the message is the one the window
// shows: "Unable to write to <full path>".
class EIniFileError : public std::runtime_error
{
public:
    explicit EIniFileError(const std::string& FileName);
    const std::string& FileName() const { return FFileName; }

private:
    std::string FFileName;
};

// Access to one INI file by its full path. Every call reads the file afresh
// and every write rewrites it at once, so two running copies only ever
// overwrite each other's values key by key, never whole sections.
//
// The file: "[Section]" lines and "Key=Value" lines. Section and key names
// match without regard to letter case (ASCII), blanks around names and values
// are ignored, lines starting with ";" or "#" are comments. A section named
// twice is searched in file order. Lines the store does not understand are
// kept as they are; the file's line ends (LF or CR LF) and a leading UTF-8
// byte order mark survive a write.
class TIniFile
{
public:
    // Returned values are cut to this many characters.
    static constexpr std::size_t MaxValueLength = 2047;

    explicit TIniFile(std::string FileName);

    const std::string& FileName() const { return FFileName; }

    // The key's value, or Default when the file, the section or the key is
    // missing or the file cannot be read.
    std::string ReadString(std::string_view Section, std::string_view Key,
                           std::string_view Default) const;

    // Creates what is missing (file, section at the end of the file, key at
    // the end of its section) or replaces the one value, keeping every other
    // line. Raises EIniFileError when the file cannot be written, and for
    // names or values that would break the file's line structure.
    void WriteString(std::string_view Section, std::string_view Key, std::string_view Value);

private:
    std::string FFileName;
};

} // namespace kelvalog
