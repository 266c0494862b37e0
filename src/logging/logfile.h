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

    void Open(const std::string& name, TLogFileMode mode);
    bool IsOpen() const { return Fd >= 0; }

    // Adds text to the write buffer; nothing reaches the file before Flush.
    void Write(std::string_view text) { Buffer.append(text); }

    // Hands the buffer to the operating system (no forced write to the
    // medium). On failure the rest of the buffer is dropped.
    void Flush();

    // Flushes, unlocks and closes. The file is released also when this
    // raises.
    void Close();

    // Closes without raising; for paths that already report a failure.
    void Release() noexcept;

    // What must be written so that the next text starts a line: nothing at a
    // line start, "\n" after a lone CR, else CR LF. Looks at the buffer and
    // at the last byte the file really received.
    std::string_view LineStartGap() const;

private:
    int Fd = -1;
    std::string Name;
    std::string Buffer;
    char LastByteInFile = '\n'; // '\n' also stands for an empty file
};

} // namespace kelvalog
