// The star-chart button: the shooting time to the clipboard, the dialog, the program started.
#include "app/form1.h"
#include "ui_form1.h"

namespace nocturo {

void TForm1::connectChartHandlers() {}

void TForm1::Button11Click() {}

}  // namespace nocturo
