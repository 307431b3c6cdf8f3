// How the window program reports table errors: a fatal one shows the "Program halted." box and
// ends the process with the error code; a non-fatal message shows a plain message box.
#pragma once

namespace melodrift {

// Installs both process-wide handlers. Call once, after the QApplication exists. The exit
// status keeps only the low 8 bits of the code (1100 ends as 76); the box shows it whole.
void InstallQtTableErrorHandlers();

}  // namespace melodrift
