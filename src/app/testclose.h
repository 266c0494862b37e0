#pragma once

class QWidget;

namespace kelvalog {

// For tests that run the whole program as a child process: when the
// environment names KELVALOG_TEST_CLOSE_AFTER_MS, the window is closed that
// many milliseconds after the start as the user would close it, and every
// message box is written to the error output as "kelvalog: message box: ..."
// instead of waiting for a click. A window that refuses to close ends the
// program with exit code 3. Without the variable nothing changes.
void ArmTestClose(QWidget& Window);

} // namespace kelvalog
