// Helpers of the window tests: a program in a control folder of its own, answering modal
// dialogs from a timer, and reading pixels of what the window shows.
#pragma once

#include "app/form1.h"
#include "app/form2.h"
#include "app/form3.h"
#include "common/jpeg_codec.h"

#include <QApplication>
#include <QDialog>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QMessageBox>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <QWheelEvent>

#include <functional>
#include <memory>

namespace nocturo::testing {

// Runs `answer` on the next modal dialog as soon as it is shown (it must close the dialog).
inline void answerNextModal(std::function<void(QWidget*)> answer) {
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, answer] {
        QWidget* w = QApplication::activeModalWidget();
        if (!w || !w->isVisible()) return;
        timer->stop();
        timer->deleteLater();
        answer(w);
    });
    timer->start();
}

// Closes the next message box with OK and keeps its text in *text.
inline void acceptNextMessage(QString* text) {
    answerNextModal([text](QWidget* w) {
        if (auto* box = qobject_cast<QMessageBox*>(w)) {
            if (text) *text = box->text();
            box->accept();
        } else if (auto* dlg = qobject_cast<QDialog*>(w)) {
            dlg->reject();
        }
    });
}

inline void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly)) qFatal("cannot write %s", qPrintable(path));
    f.write(bytes);
}

inline QByteArray readFile(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return QByteArray();
    return f.readAll();
}

// A whole program (the three windows) whose control folder is a temporary folder.
struct TestProgram {
    QTemporaryDir tempDir;
    QString folder;
    std::unique_ptr<NocturoProgram> program;

    // settings: the bytes of ctrl.txt to start with (none when null); controlFolder: start in
    // that folder instead of a fresh temporary one (a second run of the same installation).
    explicit TestProgram(const QByteArray& settings = QByteArray(), bool show = true,
                         const QString& controlFolder = QString())
        : folder(controlFolder.isEmpty() ? tempDir.path() : controlFolder) {
        if (!settings.isNull()) writeFile(folder + "/ctrl.txt", settings);
        program = std::make_unique<NocturoProgram>(folder);
        if (show) {
            form1()->resize(1366, 700);
            form1()->show();
            if (!QTest::qWaitForWindowExposed(form1())) qWarning("the main window was not exposed");
        }
    }
    TForm1* form1() const { return program->Form1.get(); }
    TForm2* form2() const { return program->Form2.get(); }
    TForm3* form3() const { return program->Form3.get(); }
    ProgramState& st() const { return program->state; }
    QString path(const QString& name) const { return folder + "/" + name; }
};

// Writes a JPEG without EXIF whose neighbouring pixels differ, and returns its path.
inline QString writePlainJpeg(const QString& folder, const QString& name, int w, int h) {
    WorkImage img(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) img.setPixel(x, y, makeColor((x * 37) & 255, (y * 53) & 255, ((x + 3 * y) * 11) & 255));
    const QString path = folder + "/" + name;
    jpeg::encodeFile(img, path, 95);
    return path;
}

// Loads a plain picture of w x h at its own size, without the strip.
inline void loadPlainPicture(TestProgram& t, int w = 1000, int h = 500) {
    ProgramState& st = t.st();
    st.PicturePath = writePlainJpeg(t.folder, QStringLiteral("plain%1x%2.jpg").arg(w).arg(h), w, h);
    st.ResizeOnLoad = 0;
    st.ShotDataStrip = 0;
    t.form1()->LoadPicture();
    QCOMPARE(st.SourceImage.width(), w);
    QCOMPARE(st.SourceImage.height(), h);
}

// Drops files on a window as the desktop does: a drag entering, then the drop.
inline void dropFiles(QWidget* target, const QStringList& files) {
    QMimeData mime;
    QList<QUrl> urls;
    for (const QString& f : files) urls << QUrl::fromLocalFile(f);
    mime.setUrls(urls);
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &drop);
}

// One wheel event over the picture area of a window.
inline void sendWheel(QWidget* w, QPoint angle) {
    const QPoint p(600, 300);
    QWheelEvent ev(p, w->mapToGlobal(p), QPoint(), angle, Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(w, &ev);
}

inline bool sameImages(const WorkImage& a, const WorkImage& b) {
    if (a.width() != b.width() || a.height() != b.height()) return false;
    for (int y = 0; y < a.height(); ++y)
        if (std::memcmp(a.row(y), b.row(y), static_cast<std::size_t>(a.width()) * 3) != 0) return false;
    return true;
}

inline bool allPixels(const WorkImage& img, ColorValue c) {
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (img.pixel(x, y) != c) return false;
    return true;
}

}  // namespace nocturo::testing
