#pragma once

#include <QString>

#include <cstdint>
#include <optional>

namespace kelvalog {

// Times on the command line: ISO 8601, local time unless it names an offset
// or "Z". As an end, a time counts to the end of its last digit and a date
// alone to the end of the day. Microseconds since the epoch, or nothing for a
// text that is no time.
std::optional<std::int64_t> CommandLineTime(const QString& Text, bool End);

// kelvalog --export FROM TO --format csv|tab|sylk [--out FILE]: writes the
// history's ticks from FROM to TO to FILE, or to the standard output. Needs
// no display and no application object; a running window does not hinder it.
// The exit code: 0 when written, 1 when the history or the file failed, 2
// for a wrong request.
int ExportFromCommandLine(const QString& HistoryFile, const QString& From, const QString& To,
                          const QString& Format, const QString& OutFile);

} // namespace kelvalog
