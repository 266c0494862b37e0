#pragma once

#include <QString>

#include <optional>

namespace kelvalog {

// Answers --help and --version and refuses what the program does not know,
// all before the application object exists, so no display is needed. Qt's own
// options (-platform, -style, -display, ...) pass through to the application.
// An exit code when the program is to end: 0 after an answer, 2 for a wrong
// command line; nothing when the window is to start.
std::optional<int> AnswerCommandLine(int argc, char* argv[], const QString& Version);

// What the command line chose for a window that is to start.
struct TCommandLineChoices
{
    // --history FILE; empty for the user's own history.
    QString HistoryFile;
};

// As above; also runs --export, and fills Choices when the window is to start.
std::optional<int> AnswerCommandLine(int argc, char* argv[], const QString& Version,
                                     TCommandLineChoices& Choices);

} // namespace kelvalog
