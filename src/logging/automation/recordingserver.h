#pragma once

#include "logging/automation/automation.h"

#include <memory>
#include <string>
#include <vector>

namespace kelvalog {

// Identifier under which tests register the recording server.
inline constexpr const char* RecordingServerProgId = "Kelvalog.RecordingServer";

// One call that reached the recording server, the creation included.
struct TRecordedCall
{
    std::string Target; // label of the called object; empty for a creation
    TInvokeKind Kind = TInvokeKind::Method;
    std::string Member; // member name, or the identifier for a creation
    std::vector<TVariant> Args;
    bool Failed = false;

    // "App1 put Visible(true)", "Sheet1 get Columns(1) -> Columns1",
    // "create Excel.Application -> App1"; a failed call ends in " !".
    std::string Text() const;
    std::string Result; // label of the object handed back, if any
};

// The calls made on a recording server, in order, and the failures it is
// told to produce. Call numbers count from 1 and include creations.
class TRecordingJournal
{
public:
    std::vector<TRecordedCall> Calls;

    // Call number `Call` fails; with `AndLater` every later call fails
    // too, as when the server process has gone.
    void FailAt(int Call, bool AndLater = false);
    void ClearFailure();
    std::vector<std::string> Lines() const;

    // Used by the server's objects.
    TRecordedCall& Record(TRecordedCall Call);
    std::string NextLabel(const std::string& Member);

private:
    int FAilingCall = 0;
    bool FAilLater = false;
    std::vector<std::pair<std::string, int>> FCounters;
};

// Registers under progId a server whose objects accept the members the
// worksheet log uses (Visible, Workbooks, Add, ActiveSheet, Name, Columns,
// NumberFormat, ColumnWidth, Cells, Application, Quit), journal every call
// with its arguments, hand back a new object for each object-valued get and
// refuse every other name.
void RegisterRecordingServer(const std::string& ProgId, std::shared_ptr<TRecordingJournal> Journal);

} // namespace kelvalog
