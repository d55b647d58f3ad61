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
#include <QElapsedTimer>
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

// QCOMPARE and QVERIFY leave only the function they are written in. A helper that checks
// returns whether the test still passes, and its caller stops on false:
//     QVERIFY(loadPlainPicture(t, 800, 600));
template <class Checks>
[[nodiscard]] bool passes(Checks&& checks) {
    checks();
    return !QTest::currentTestFailed();
}

// Answers one modal dialog from a timer: `answer` gets the next modal dialog of type T as soon as
// it is shown and must close it. The answer lives as long as this object, so it can never answer
// a dialog of a later test; when its dialog has not come by the deadline, or by the end of the
// object's scope, the test fails there. wait() waits for the dialog (up to the deadline) and
// tells whether it was answered.
class [[nodiscard]] ModalAnswer {
public:
    static constexpr int kDeadlineMs = 20000;

    ModalAnswer(std::function<bool(QWidget*)> answer, const char* file, int line)
        : answer_(std::move(answer)), file_(file), line_(line) {
        clock_.start();
        timer_.setInterval(10);
        QObject::connect(&timer_, &QTimer::timeout, &timer_, [this] { tick(); });
        timer_.start();
    }
    ModalAnswer(const ModalAnswer&) = delete;
    ModalAnswer& operator=(const ModalAnswer&) = delete;
    ~ModalAnswer() {
        timer_.stop();
        if (!answered_ && !expired_) fail("the modal dialog this test answers never came");
    }

    bool answered() const { return answered_; }

    [[nodiscard]] bool wait() const {
        return QTest::qWaitFor([this] { return answered_ || expired_; }, kDeadlineMs) && answered_;
    }

private:
    void tick() {
        QWidget* w = QApplication::activeModalWidget();
        if (w && w->isVisible()) {
            timer_.stop();
            if (answer_(w)) {
                answered_ = true;
                if (w->isVisible()) {
                    w->close();
                    fail("the answer left its dialog open");
                }
                return;
            }
            timer_.start();
        }
        if (clock_.elapsed() < kDeadlineMs) return;
        timer_.stop();
        expired_ = true;
        // A dialog nobody answers would keep the test waiting for a user.
        if (w && w->isVisible()) w->close();
        fail("the modal dialog this test answers did not come in time");
    }

    void fail(const char* what) const {
        if (!QTest::currentTestFailed()) QTest::qFail(what, file_, line_);
    }

    std::function<bool(QWidget*)> answer_;
    const char* file_;
    int line_;
    QTimer timer_;
    QElapsedTimer clock_;
    bool answered_ = false;
    bool expired_ = false;
};

// Arms a ModalAnswer for the next modal dialog that is a T; dialogs of other types are left to
// other answers.
template <class T = QWidget>
ModalAnswer answerNextModal(std::function<void(T*)> answer, const char* file = __builtin_FILE(),
                            int line = __builtin_LINE()) {
    return ModalAnswer(
        [answer = std::move(answer)](QWidget* w) {
            T* dialog = qobject_cast<T*>(w);
            if (!dialog) return false;
            answer(dialog);
            return true;
        },
        file, line);
}

// Closes the next message box with OK and keeps its text in *text.
inline ModalAnswer acceptNextMessage(QString* text, const char* file = __builtin_FILE(), int line = __builtin_LINE()) {
    return answerNextModal<QMessageBox>(
        [text](QMessageBox* box) {
            if (text) *text = box->text();
            box->accept();
        },
        file, line);
}

// Closes any modal dialog that opens while it lives, and fails the test when one did: for
// actions that must not open one (which would otherwise keep the test waiting for ever).
class [[nodiscard]] NoModalExpected {
public:
    explicit NoModalExpected(const char* what, const char* file = __builtin_FILE(), int line = __builtin_LINE())
        : what_(what), file_(file), line_(line) {
        timer_.setInterval(10);
        QObject::connect(&timer_, &QTimer::timeout, &timer_, [this] {
            QWidget* w = QApplication::activeModalWidget();
            if (!w || !w->isVisible()) return;
            shown_ = true;
            w->close();
        });
        timer_.start();
    }
    NoModalExpected(const NoModalExpected&) = delete;
    NoModalExpected& operator=(const NoModalExpected&) = delete;
    ~NoModalExpected() {
        timer_.stop();
        if (shown_ && !QTest::currentTestFailed())
            QTest::qFail(qPrintable(QStringLiteral("a modal dialog opened: %1").arg(QString::fromUtf8(what_))), file_, line_);
    }
    bool shown() const { return shown_; }

private:
    const char* what_;
    const char* file_;
    int line_;
    QTimer timer_;
    bool shown_ = false;
};

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
[[nodiscard]] inline bool loadPlainPicture(TestProgram& t, int w = 1000, int h = 500) {
    return passes([&] {
        ProgramState& st = t.st();
        st.PicturePath = writePlainJpeg(t.folder, QStringLiteral("plain%1x%2.jpg").arg(w).arg(h), w, h);
        st.ResizeOnLoad = 0;
        st.ShotDataStrip = 0;
        t.form1()->LoadPicture();
        QCOMPARE(st.SourceImage.width(), w);
        QCOMPARE(st.SourceImage.height(), h);
    });
}

// Drops files on a window as the desktop does: a drag entering, then the drop. False when the
// window refused the drag.
[[nodiscard]] inline bool dropFiles(QWidget* target, const QStringList& files) {
    QMimeData mime;
    QList<QUrl> urls;
    for (const QString& f : files) urls << QUrl::fromLocalFile(f);
    mime.setUrls(urls);
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &enter);
    if (!enter.isAccepted()) {
        qWarning("the window refused the drag of %s", qPrintable(files.join(QStringLiteral(", "))));
        return false;
    }
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &drop);
    return true;
}

// One wheel event over the picture area of a window.
inline void leftClick(QWidget* w) { QTest::mouseClick(w, Qt::LeftButton, {}, QPoint(w->width() / 2, w->height() / 2)); }

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
