#include "app/form3.h"

#include "ui_form3.h"

namespace nocturo {

TForm3::TForm3(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::TForm3>()) {
    ui->setupUi(this);
    connect(ui->Button1, &QPushButton::clicked, this, &QDialog::accept);
    connect(ui->Button2, &QPushButton::clicked, this, &QDialog::reject);
}

TForm3::~TForm3() = default;

}  // namespace nocturo
