// A hook for checking an installed program from a script: with NOCTURO_TEST_REPORT=<file> in the
// environment the program confirms the dialogs of its start-up (OK in the image-size dialog, every
// message box), then writes what it shows to <file> and ends. Without the variable it does nothing.
#pragma once

namespace nocturo {

class NocturoProgram;

void armStartupReport(NocturoProgram& program);

}  // namespace nocturo
