#include "app/form3.h"

#include "app/desktop.h"

#include "app/error_boundary.h"
#include "app/mouse_press.h"
#include "app/state.h"
#include "common/paths.h"
#include "ui_form3.h"


#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QComboBox>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QMouseEvent>

#include <QPushButton>

#include <QUrl>

namespace nocturo {

namespace {

// The folder of installed programs, where the file dialog starts.
const QString kProgramsFolder = QStringLiteral("/usr/bin");
const QString kExecutablesFilter = QStringLiteral("実行ファイル (*)");
const QString kAllFilesFilter = QStringLiteral("すべてのファイル (*)");

}  // namespace

TForm3::TForm3(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::TForm3>()) {
    ui->setupUi(this);
    // None of the buttons is a default button (the layout says so): Enter in the program list
    // must neither register a program nor start one.
    // The start button chooses the program, then closes the dialog with OK.
    connect(ui->Button1, &QPushButton::clicked, this, [this] {
        runHandler(this, [this] { Button1Click(); });
        accept();
    });
    connect(ui->Button2, &QPushButton::clicked, this, &QDialog::reject);
    connectGuarded(ui->Button3, &QPushButton::clicked, this, [this] { Button3Click(); });
    connectGuarded(ui->Button4, &QPushButton::clicked, this, [this] { Button4Click(); });
    connect(ui->ComboBox1, &QComboBox::editTextChanged, this, [this] { showChosenTemplate(); });
    connect(ui->Edit3, &QLineEdit::textEdited, this, [this](const QString& text) { keepTypedTemplate(text); });
    ui->Panel1->installEventFilter(this);
    ui->Panel1->setCursor(Qt::PointingHandCursor);
    // Programs may also be registered by dropping them on the dialog.
    setAcceptDrops(true);
}

TForm3::~TForm3() = default;

bool TForm3::eventFilter(QObject* watched, QEvent* event) {
    // The help panel opens its page once per click: a double click's second press is no new one.
    if (watched == ui->Panel1 && event->type() == QEvent::MouseButtonPress) {
        if (pressedButton(event) == Qt::LeftButton) runHandler(this, [this] { Panel1Click(); });
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

int TForm3::findChosenEntry() const {
    const QString name = ui->ComboBox1->currentText().trimmed();
    int found = -1;
    for (int i = 0; i < st->ChartProgramCount; ++i)
        if (fileNamePart(st->ChartPrograms[static_cast<std::size_t>(i)]).trimmed() == name) found = i;
    return found;
}

void TForm3::fillComboFromList() {
    ui->ComboBox1->clear();
    ui->ComboBox1->setEditText(QString());
    for (int i = 0; i < st->ChartProgramCount; ++i)
        ui->ComboBox1->addItem(fileNamePart(st->ChartPrograms[static_cast<std::size_t>(i)]));
}

void TForm3::showChosenTemplate() {
    if (!st) return;
    const int found = findChosenEntry();
    ui->Edit3->setText(found >= 0 ? st->ChartTemplates[static_cast<std::size_t>(found)] : QString());
    ui->Edit3->setEnabled(found >= 0);
}

void TForm3::keepTypedTemplate(const QString& text) {
    if (!st) return;
    const int found = findChosenEntry();
    if (found >= 0) st->ChartTemplates[static_cast<std::size_t>(found)] = text;
}

void TForm3::Button1Click() {
    const int found = findChosenEntry();
    if (found >= 0) st->ChartTemplates[static_cast<std::size_t>(found)] = ui->Edit3->text();
    st->ChartProgram = found >= 0 ? st->ChartPrograms[static_cast<std::size_t>(found)] : QString();
    st->ChartTemplate = found >= 0 ? st->ChartTemplates[static_cast<std::size_t>(found)] : QString();
}

void TForm3::Button3Click() {
    QFileDialog dialog(this, QString(), kProgramsFolder);
    dialog.setObjectName(QStringLiteral("OpenDialog1"));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    // Programs on this system have no extension of their own: the first filter shows the files
    // that may be run, the second everything.
    dialog.setNameFilters({kExecutablesFilter, kAllFilesFilter});
    const QDir::Filters base = QDir::AllDirs | QDir::Files | QDir::NoDotAndDotDot;
    dialog.setFilter(base | QDir::Executable);
    connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog, base](const QString& filter) {
        dialog.setFilter(filter == kExecutablesFilter ? base | QDir::Executable : base);
    });
    if (dialog.exec() != QDialog::Accepted) return;
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty()) return;
    NewChartProgram = files.first();
    AddChartProgram();
}

void TForm3::Button4Click() { DeleteChartProgram(); }

void TForm3::Panel1Click() { documentOpener()(installedDocumentPath(QStringLiteral("help/starsoft.html"))); }

void TForm3::AddChartProgram() {
    // The list holds kMaxChartPrograms paths; one more is refused rather than written past it.
    if (st->ChartProgramCount >= kMaxChartPrograms) {
        QMessageBox box(QMessageBox::Warning, windowTitle(),
                        QStringLiteral("星図ソフトは%1個まで登録できます。\n不要なソフトを削除してから登録してください。")
                            .arg(kMaxChartPrograms),
                        QMessageBox::Ok, this);
        box.exec();
        return;
    }
    st->ChartPrograms[static_cast<std::size_t>(st->ChartProgramCount)] = NewChartProgram;
    st->ChartTemplates[static_cast<std::size_t>(st->ChartProgramCount)].clear();
    ++st->ChartProgramCount;
    fillComboFromList();
    ui->ComboBox1->setEditText(fileNamePart(NewChartProgram));
    st->ChartProgram = NewChartProgram;
}

void TForm3::DeleteChartProgram() {
    const int found = findChosenEntry();
    const QString path = found >= 0 ? st->ChartPrograms[static_cast<std::size_t>(found)] : QString();

    QMessageBox box(QMessageBox::Question, QStringLiteral("確認"), fileNamePart(path) + QStringLiteral("を削除しますか？"),
                    QMessageBox::NoButton, this);
    QPushButton* yes = box.addButton(QStringLiteral("はい(&Y)"), QMessageBox::YesRole);
    QPushButton* no = box.addButton(QStringLiteral("いいえ(&N)"), QMessageBox::NoRole);
    box.setDefaultButton(no);
    box.setEscapeButton(no);
    box.exec();
    if (box.clickedButton() != yes) return;

    const QString target = path.trimmed();
    int j = 0;
    for (int i = 0; i < st->ChartProgramCount; ++i) {
        const QString& entry = st->ChartPrograms[static_cast<std::size_t>(i)];
        if (entry.trimmed() != target) {
            st->ChartTemplates[static_cast<std::size_t>(j)] = st->ChartTemplates[static_cast<std::size_t>(i)];
            st->ChartPrograms[static_cast<std::size_t>(j++)] = entry;
        }
    }
    st->ChartProgramCount = j;

    fillComboFromList();
    if (st->ChartProgramCount > 0) {
        ui->ComboBox1->setEditText(fileNamePart(st->ChartPrograms[0]));
        st->ChartProgram = st->ChartPrograms[0];
    }
}

void TForm3::dragEnterEvent(QDragEnterEvent* event) {
    for (const QUrl& url : event->mimeData()->urls()) {
        if (url.isLocalFile()) {
            event->acceptProposedAction();
            return;
        }
    }
}

void TForm3::dropEvent(QDropEvent* event) {
    // The first dropped file is registered; folders and vanished paths are not programs.
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.isEmpty() || !urls.first().isLocalFile()) return;
    const QString path = urls.first().toLocalFile();
    if (!QFileInfo(path).isFile()) return;
    event->acceptProposedAction();
    runHandler(this, [this, path] {
        NewChartProgram = path;
        AddChartProgram();
    });
}

}  // namespace nocturo
