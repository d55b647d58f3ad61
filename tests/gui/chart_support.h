// What the star-chart window tests share: pressing 星図ソフト起動 and answering its dialog.
#pragma once

#include "gui_support.h"
#include "ui_form1.h"

namespace nocturo::testing {

// Presses the star-chart button; answer runs on the dialog when it opens. Returns whether it
// opened and the test still passes (the checks inside the answer end only the answer).
[[nodiscard]] inline bool pressChartButton(TestProgram& t, const std::function<void(TForm3*)>& answer) {
    bool opened = false;
    const auto answered = answerNextModal<TForm3>([&](TForm3* f3) {
        opened = true;
        answer(f3);
        if (f3->isVisible()) f3->reject();
    });
    leftClick(t.form1()->ui->Button11);
    return opened && !QTest::currentTestFailed();
}

}  // namespace nocturo::testing
