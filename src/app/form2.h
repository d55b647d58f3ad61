// The image-size dialog: original size or resize to a long side, and the shooting-data strip.
// Its controls are the only store of these three choices between showings.
#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class TForm2;
}

namespace nocturo {

class TForm2 : public QDialog {
    Q_OBJECT

public:
    explicit TForm2(QWidget* parent = nullptr);
    ~TForm2() override;

    std::unique_ptr<Ui::TForm2> ui;

    // Both radio buttons run the same steps: the long-side controls are enabled exactly when
    // "リサイズしてから処理" is chosen.
    void RadioButton1Click();
    void RadioButton2Click();
    void Button2Click();

    // Shown centred over the main window each time.
    int showCentredOver(QWidget* owner);
};

}  // namespace nocturo
