#include "app/form2.h"

#include "app/error_boundary.h"

#include "ui_form2.h"

namespace nocturo {

TForm2::TForm2(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::TForm2>()) {
    ui->setupUi(this);
    connect(ui->Button1, &QPushButton::clicked, this, &QDialog::accept);
    connectGuarded(ui->Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
    connectChecked(ui->RadioButton1, this, [this] { RadioButton1Click(); });
    connectChecked(ui->RadioButton2, this, [this] { RadioButton2Click(); });
}

TForm2::~TForm2() = default;

void TForm2::RadioButton1Click() {
    const bool enable = !ui->RadioButton1->isChecked();
    ui->Label1->setEnabled(enable);
    ui->Label2->setEnabled(enable);
    ui->ComboBox1->setEnabled(enable);
}

void TForm2::RadioButton2Click() { RadioButton1Click(); }

void TForm2::Button2Click() { reject(); }

int TForm2::showCentredOver(QWidget* owner) {
    if (owner) {
        const QPoint centre = owner->frameGeometry().center();
        move(centre - QPoint(width() / 2, height() / 2));
    }
    return exec();
}

}  // namespace nocturo
