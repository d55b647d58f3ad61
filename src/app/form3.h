// The star-chart program dialog: the registered programs, the choice among them, and the
// clipboard format of the shooting time.
#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class TForm3;
}

namespace nocturo {

struct ProgramState;

class TForm3 : public QDialog {
    Q_OBJECT

public:
    explicit TForm3(QWidget* parent = nullptr);
    ~TForm3() override;

    std::unique_ptr<Ui::TForm3> ui;

    // The star-chart list and choice live in the program state.
    void attachState(ProgramState* state) { st = state; }
    ProgramState* st = nullptr;
};

}  // namespace nocturo
