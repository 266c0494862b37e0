#pragma once

#include <memory>
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

// Access to one INI file by its full path. The file is read once, at the
// first read or write, and written once, by UpdateFile: writes change the
// copy in memory and are remembered. UpdateFile reads the file afresh and
// applies the remembered writes to it, so that two running copies only ever
// overwrite each other's values key by key, never whole sections.
//
// The file: "[Section]" lines and "Key=Value" lines. Section and key names
// match without regard to letter case (ASCII), blanks around names and values
// are ignored, lines starting with ";" or "#" are comments. A section named
// twice is searched in file order. Lines the store does not understand are
// kept as they are; the file's line ends (LF or CR LF) and a leading UTF-8
// byte order mark survive a write. Values of any length are kept whole.
class TIniFile
{
public:
    explicit TIniFile(std::string FileName);
    ~TIniFile();
    TIniFile(const TIniFile&) = delete;
    TIniFile& operator=(const TIniFile&) = delete;

    const std::string& FileName() const { return FFileName; }

    // The key's value, or Default when the file, the section or the key is
    // missing or the file cannot be read.
    std::string ReadString(std::string_view Section, std::string_view Key,
                           std::string_view Default) const;

    // Creates what is missing (file, section at the end of the file, key at
    // the end of its section) or replaces the one value, keeping every other
    // line. Raises EIniFileError at once for names or values that would break
    // the file's line structure, and for a file that exists but cannot be
    // read; whether the file can be written shows in UpdateFile.
    void WriteString(std::string_view Section, std::string_view Key, std::string_view Value);

    // Writes not yet in the file.
    bool Modified() const;

    // Puts the writes made since the last update into the file: one rewrite
    // through a temporary file, one sync, one rename. A symbolic link is
    // written through to its target, which is created when missing. Raises
    // EIniFileError when the file cannot be written; the writes stay
    // remembered then.
    void UpdateFile();

private:
    struct TState;
    std::string FFileName;
    std::unique_ptr<TState> FState;
};

} // namespace kelvalog
