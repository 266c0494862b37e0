#pragma once

#include <string>
#include <string_view>

namespace kelvalog {

enum class TLogFileMode {
    Create, // create, or empty an existing file
    Append, // continue an existing file, or create it
};

// A log file with a write buffer of its own. While open it holds an
// exclusive advisory lock, so a second program that locks the same way
// cannot open it; readers are not hindered. Failures raise ELogError.
class TLogFile
{
public:
    TLogFile() = default;
    TLogFile(const TLogFile&) = delete;
    TLogFile& operator=(const TLogFile&) = delete;
    ~TLogFile();

    void Open(const std::string& Name, TLogFileMode Mode);
    bool IsOpen() const { return FFd >= 0; }

    // Hands one whole record (line end included) to the operating system in
    // one write (no forced write to the medium). A short or failed write cuts
    // the file back to where the record began, so the file never holds part
    // of a record; the failure raises ELogError with the system's error code.
    // When the cut itself fails, it raises ELogPartialRecord.
    void WriteWhole(std::string_view Record);

    // Unlocks and closes. The file is released also when this raises.
    void Close();

    // Closes without raising; for paths that already report a failure.
    void Release() noexcept;

    // What must be written so that the next text starts a line: nothing at a
    // line start, "\n" after a lone CR, else CR LF. Looks at the last byte
    // the file really received (an appended file may end in an open line).
    std::string_view LineStartGap() const;

private:
    int FFd = -1;
    std::string FName;
    char FLastByteInFile = '\n'; // '\n' also stands for an empty file
};

} // namespace kelvalog
