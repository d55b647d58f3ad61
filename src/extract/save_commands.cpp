// Saving the processed picture as a JPEG, and handing it to the system's image editor.
#include "app/form1.h"
#include "ui_form1.h"

namespace nocturo {

void TForm1::connectNavigatorAndSaveHandlers() {}
bool TForm1::filterNavigatorAndSaveEvent(QObject*, QEvent*) { return false; }

void TForm1::Button3MouseDown(Qt::MouseButton) {}

}  // namespace nocturo
