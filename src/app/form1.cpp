#include "app/form1.h"
#include "common/paths.h"

#include "app/desktop.h"
#include "app/error_boundary.h"
#include "app/form2.h"
#include "app/form3.h"
#include "settings/control_folder.h"
#include "ui_form1.h"
#include "ui_form2.h"
#include "ui_form3.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

namespace nocturo {

namespace {

QString& controlFolderOverride() {
    static QString folder;
    return folder;
}


bool ensureWritableFolder(const QString& folder) {
    if (!QDir().mkpath(folder)) return false;
    const QFileInfo info(folder);
    return info.isDir() && info.isWritable();
}

// A writable folder already, or one that can be made in a writable parent (looked at only:
// nothing is created beside a program that will not use it).
bool canBecomeWritableFolder(const QString& folder) {
    const QFileInfo info(folder);
    if (info.exists()) return info.isDir() && info.isWritable();
    const QFileInfo parent(info.absolutePath());
    return parent.isDir() && parent.isWritable();
}

// Unchecks a radio button of an exclusive group without running any handler (the group
// otherwise refuses to leave all of its buttons unchecked).
void uncheckQuietly(QAbstractButton* button) {
    const bool blocked = button->blockSignals(true);
    button->setAutoExclusive(false);
    button->setChecked(false);
    button->setAutoExclusive(true);
    button->blockSignals(blocked);
}

}  // namespace

void TForm1::setControlFolderOverride(const QString& folder) { controlFolderOverride() = folder; }

TForm1::TForm1(ProgramState& state, QWidget* parent) : QWidget(parent), st(state), ui(std::make_unique<Ui::TForm1>()) {
    ui->setupUi(this);
    Timer1 = new QTimer(this);
    Timer1->setInterval(1000);
    connectHandlers();
    // FormCreate: the initialisation, then the drop registration.
    StartupInit();
    setAcceptDrops(true);
    Timer1->start();
}

TForm1::~TForm1() = default;

void TForm1::attachDialogs(TForm2* form2, TForm3* form3) {
    Form2 = form2;
    Form3 = form3;
}

void TForm1::guarded(const std::function<void()>& handler) { runHandler(this, handler); }

void TForm1::connectHandlers() {
    connectGuarded(Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });
    connectGuarded(ui->Button7, &QPushButton::clicked, this, [this] { Button7Click(); });
    connectSourcesHandlers();
    connectViewHandlers();
    connectZoomHandlers();
    connectNavigatorHandlers();
    connectProcessingHandlers();
    connectSavingHandlers();
    connectChartHandlers();
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    if (filterSourcesEvent(watched, event) || filterZoomEvent(watched, event) ||
        filterNavigatorEvent(watched, event) || filterProcessingEvent(watched, event) ||
        filterSavingEvent(watched, event))
        return true;
    return QWidget::eventFilter(watched, event);
}

void TForm1::fillValueLists() {
    auto fill = [](QComboBox* box, int from, int to, auto value) {
        box->clear();
        for (int i = from; i <= to; ++i) box->addItem(QString::number(value(i)));
    };
    fill(ui->ComboBox1, 1, 39, [](int i) { return i <= 30 ? i : i <= 33 ? 30 + 5 * (i - 30) : 50 + 10 * (i - 34); });
    fill(ui->ComboBox2, 0, 26, [](int i) {
        return i <= 9 ? i : i <= 14 ? 10 + 2 * (i - 10) : i <= 20 ? 20 + 5 * (i - 15) : 50 + 10 * (i - 21);
    });
    fill(ui->ComboBox3, 0, 20, [](int i) { return 10 * i - 100; });
    fill(ui->ComboBox4, 2, 10, [](int i) { return 10 * i; });
}

void TForm1::prepareControlFolder(QStringList& problems) {
    st.ControlFolder.clear();
    const QString overrideFolder = controlFolderOverride();
    if (!overrideFolder.isEmpty() && ensureWritableFolder(overrideFolder)) {
        st.ControlFolder = overrideFolder;
        return;
    }
    ControlFolderSearch search;
    search.programFolder = QCoreApplication::applicationDirPath();
    search.programFolderWritable = canBecomeWritableFolder(search.programFolder + QStringLiteral("/controldata"));
    search.configHome = qEnvironmentVariable("XDG_CONFIG_HOME");
    search.home = qEnvironmentVariable("HOME");
    // Run from an install prefix, the program folder belongs to the package manager, even to root.
    search.installed = QFileInfo(search.programFolder + QStringLiteral("/../share/nocturo")).isDir();
    const ControlFolderChoice choice = nocturo::chooseControlFolder(search);
    QString reason;
    switch (choice.kind) {
    case ControlFolderKind::ProgramFolder:
        if (ensureWritableFolder(choice.folder)) st.ControlFolder = choice.folder;
        else reason = QStringLiteral("フォルダに書き込めません: %1").arg(choice.folder);
        break;
    case ControlFolderKind::UserConfig:
        if (makePrivateFolder(choice.folder, &reason)) st.ControlFolder = choice.folder;
        break;
    case ControlFolderKind::None:
        reason = QStringLiteral("HOME も XDG_CONFIG_HOME も設定されていません。");
        break;
    }
    if (!st.ControlFolder.isEmpty()) return;

    // Nowhere to keep settings: this run still needs its scratch files, in a folder of a random
    // name that only this user can enter (never a fixed name in the shared temporary folder,
    // which another user could create first or read), removed at exit.
    privateControlFolder_ = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/nocturo-XXXXXX"));
    if (privateControlFolder_->isValid()) {
        st.ControlFolder = privateControlFolder_->path();
        problems << QStringLiteral("設定フォルダを作成できません: %1\n%2\n設定は保存されません。")
                        .arg(choice.folder.isEmpty() ? QStringLiteral("(なし)") : choice.folder, reason);
    } else {
        privateControlFolder_.reset();
        problems << QStringLiteral("設定フォルダを作成できません: %1\n%2\n設定は保存されず、画像の一時ファイルも作れません。")
                        .arg(choice.folder.isEmpty() ? QStringLiteral("(なし)") : choice.folder, reason);
    }
}

void TForm1::StartupInit() {
    QStringList problems;
    prepareControlFolder(problems);
    QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    if (pictures.isEmpty()) pictures = QDir::homePath();
    // Without any control folder the paths stay empty: nothing is read or written, rather than
    // files at the root of the file system.
    if (!st.ControlFolder.isEmpty()) {
        st.SettingsPath = st.ControlFolder + QStringLiteral("/ctrl.txt");
        st.TempPath1 = st.ControlFolder + QStringLiteral("/tmp1.jpg");
        st.TempPath2 = st.ControlFolder + QStringLiteral("/tmp2.jpg");
    }
    st.DefaultSavePath = pictures + QStringLiteral("/無題.jpg");

    // The settings, and the star-chart list they carry.
    st.Settings = ReadSettings(st.SettingsPath);
    problems << st.Settings.Problems;
    st.ChartPrograms = st.Settings.ChartPrograms;
    st.ChartTemplates = st.Settings.ChartTemplates;
    st.ChartProgramCount = st.Settings.ChartProgramCount;
    st.ChartProgram = st.Settings.ChartProgram;

    // The side panel's controls take the settings.
    fillValueLists();
    ui->ComboBox1->setEditText(QString::number(st.Settings.SettingThreshold));
    ui->ComboBox2->setEditText(QString::number(st.Settings.SettingBrightness));
    ui->ComboBox3->setEditText(QString::number(st.Settings.SettingSaturation));
    ui->ComboBox4->setEditText(QString::number(st.Settings.SettingQuality));
    ui->CheckBox2->setChecked(st.Settings.SettingEnlarge > 0);
    st.PanelLeft = width() - ui->Panel1->width() - 5;
    st.PanelTop = 10;
    const QScreen* screen = QGuiApplication::primaryScreen();
    const int screenWidth = screen ? screen->geometry().width() : width();
    ui->Panel1->move(screenWidth - ui->Panel1->width() - 5, st.PanelTop);
    setPanel2Color(static_cast<ColorValue>(st.Settings.SettingBackColor) & 0xFFFFFF);

    // The scratch files of the last run go; the last picture comes back, or the sample. A picture
    // named on the command line comes instead of the last one, once the dialogs exist.
    QFile::remove(st.TempPath1);
    QFile::remove(st.TempPath2);
    bool loaded = false;
    if (st.StartFile.isEmpty() && !st.Settings.SettingPicture.isEmpty() &&
        QFileInfo(st.Settings.SettingPicture).isFile()) {
        st.PicturePath = st.Settings.SettingPicture;
        LoadChoice choice;
        choice.ResizeLongSide = st.Settings.SettingLongSide;
        choice.ShotDataStrip = st.Settings.SettingShotData;
        choice.ResizeOnLoad = st.Settings.SettingResize;
        QString error;
        loaded = tryLoadPicture(choice, &error);
        if (!loaded) problems << error;
    }
    if (!loaded) {
        QString error;
        if (!tryShowSamplePicture(&error)) problems << error;
    }

    // The original at the fitted size, the side panel in its unprocessed layout.
    st.DisplayMode = 1;
    st.ZoomFactor = 1.0f;
    st.PanAnchorX = st.PanAnchorY = -10;
    st.ProcessState = 1;
    UpdateSidePanel();
    ui->ProgressBar1->move(8, 366);
    st.ZoomFactor = 1.0f;
    RedrawView();

    // What went wrong is told once the window is up: a message box in the middle of creating
    // the window would come before the window itself.
    problems.removeAll(QString());
    if (!problems.isEmpty()) {
        const QString text = problems.join(QStringLiteral("\n\n"));
        QTimer::singleShot(0, this, [this, text] { showErrorMessage(this, text); });
    }
}

void TForm1::Timer1Timer() {
    DialogInit();
    Timer1->stop();
}

void TForm1::DialogInit() {
    if (Form2) {
        QComboBox* box = Form2->ui->ComboBox1;
        box->clear();
        for (int i = 2; i <= 10; ++i) box->addItem(QString::number(160 * i));
        box->setEditText(QString::number(st.Settings.SettingLongSide));
        // Checking a radio button runs its click handler, which enables the long-side controls.
        if (st.Settings.SettingResize > 0)
            Form2->ui->RadioButton2->setChecked(true);
        else
            Form2->ui->RadioButton1->setChecked(true);
        Form2->ui->CheckBox1->setChecked(st.Settings.SettingShotData > 0);
    }
    if (Form3) {
        QComboBox* box = Form3->ui->ComboBox1;
        box->clear();
        box->setEditText(QString());
        if (st.ChartProgramCount == 0) {
            Form3->ui->Label1->setText(QStringLiteral("現在星座ソフトは登録されていません\r\n"));
        } else {
            for (int i = 0; i < st.ChartProgramCount; ++i) box->addItem(fileNamePart(st.ChartPrograms[static_cast<std::size_t>(i)]));
            box->setEditText(fileNamePart(st.ChartProgram));
            Form3->ui->Label1->setText(QString());
        }
        if (st.Settings.SettingDateFormat > 0)
            Form3->ui->RadioButton2->setChecked(true);
        else
            Form3->ui->RadioButton1->setChecked(true);
    }
}

void TForm1::UpdateSidePanel() {
    const bool processed = st.ProcessState != 1;
    if (!processed) {
        ui->Panel1->resize(ui->Panel1->width(), 420);
        uncheckQuietly(ui->RadioButton4);
    } else {
        ui->Panel1->resize(ui->Panel1->width(), 546);
        // Checking it runs RadioButton4Click when it was not checked (the display switch).
        ui->RadioButton4->setChecked(true);
    }
    for (QWidget* w : {static_cast<QWidget*>(ui->Button3), static_cast<QWidget*>(ui->GroupBox3),
                       static_cast<QWidget*>(ui->Label5), static_cast<QWidget*>(ui->ComboBox4),
                       static_cast<QWidget*>(ui->Button12)})
        w->setVisible(processed);
}

bool TForm1::FormCloseQuery() {
    WriteSettings();
    beep();
    return true;
}

void TForm1::closeEvent(QCloseEvent* event) {
    guarded([this] { FormCloseQuery(); });
    event->accept();
}

void TForm1::WriteSettings() {
    SettingsToWrite w;
    w.ChartPrograms = st.ChartPrograms;
    w.ChartTemplates = st.ChartTemplates;
    w.ChartProgramCount = st.ChartProgramCount;
    w.ChartProgram = st.ChartProgram;
    w.ThresholdText = ui->ComboBox1->currentText();
    w.BrightnessText = ui->ComboBox2->currentText();
    w.SaturationText = ui->ComboBox3->currentText();
    w.QualityText = ui->ComboBox4->currentText();
    w.BackColor = static_cast<int>(panel2Color());
    w.Enlarge = ui->CheckBox2->isChecked();
    if (Form2) {
        w.LongSideText = Form2->ui->ComboBox1->currentText();
        w.ShotData = Form2->ui->CheckBox1->isChecked();
        st.ResizeOnLoad = Form2->ui->RadioButton2->isChecked() ? 1 : 0;
    }
    w.ResizeFirst = st.ResizeOnLoad > 0;
    w.PicturePath = st.PicturePath;
    w.ClipDateFormat = st.ClipDateFormat == 1 ? 1 : 0;
    QString error;
    if (!WriteSettingsFile(st.SettingsPath, w, &error))
        showErrorMessage(this, QStringLiteral("設定ファイルを保存できませんでした。\n%1").arg(error));
}

void TForm1::ApplyStandardSettings() {
    ui->ComboBox1->setEditText(QStringLiteral("10"));
    ui->ComboBox2->setEditText(QStringLiteral("30"));
    ui->ComboBox3->setEditText(QStringLiteral("0"));
    ui->ComboBox4->setEditText(QStringLiteral("80"));
    ui->RadioButton1->setChecked(true);
    setPanel2Color(kBlack);
    ui->CheckBox2->setChecked(true);
    if (Form2) {
        Form2->ui->ComboBox1->setEditText(QStringLiteral("1280"));
        Form2->ui->CheckBox1->setChecked(true);
    }
    st.PanelLeft = width() - ui->Panel1->width() - 5;
    st.PanelTop = 20;
    const QScreen* screen = QGuiApplication::primaryScreen();
    const int screenWidth = screen ? screen->geometry().width() : width();
    ui->Panel1->move(screenWidth - ui->Panel1->width() - 5, 20);
}

void TForm1::Button7Click() {
    ApplyStandardSettings();
    beep();
}

NocturoProgram::NocturoProgram(const QString& controlFolderOverride, const QString& startFile) {
    TForm1::setControlFolderOverride(controlFolderOverride);
    state.StartFile = startFile;
    Form1 = std::make_unique<TForm1>(state);
    Form2 = std::make_unique<TForm2>(Form1.get());
    Form3 = std::make_unique<TForm3>(Form1.get());
    Form3->attachState(&state);
    Form1->attachDialogs(Form2.get(), Form3.get());
    // The image-size dialog needs the event loop, so the file is opened from it.
    if (!startFile.isEmpty()) {
        TForm1* form1 = Form1.get();
        QTimer::singleShot(0, form1, [form1] { runHandler(form1, [form1] { form1->OpenStartFile(); }); });
    }
}

NocturoProgram::~NocturoProgram() {
    // The dialogs are children of the main window for centring; release them first.
    Form3.reset();
    Form2.reset();
}

}  // namespace nocturo
