// What a shown picture holds: once a load has replaced the picture, or failed, no released pixel
// memory stays behind for the next load; the window keeps one set of working images.
#include "common/work_image.h"
#include "gui_support.h"

#include <QFile>

using namespace nocturo;
using namespace nocturo::testing;

class InputMemoryTest : public QObject {
    Q_OBJECT

private slots:
    void memoryOfTheReplacedPictureIsGivenBack() {
        TestProgram t;
        // 1200 x 800 x 3 bytes: each working image is a block large enough to be kept for reuse.
        QVERIFY(loadPlainPicture(t, 1200, 800));
        QCOMPARE(pooledPixelBytes(), std::size_t{0});
        QVERIFY(loadPlainPicture(t, 1300, 800));
        QCOMPARE(pooledPixelBytes(), std::size_t{0});
        QCOMPARE(t.st().SourceImage.width(), 1300);
    }

    void aFailedLoadGivesBackWhatItTookAndKeepsThePicture() {
        TestProgram t;
        QVERIFY(loadPlainPicture(t, 1200, 800));
        // The same kind of picture cut short: decoded into new images, then refused.
        const QString whole = writePlainJpeg(t.folder, QStringLiteral("whole.jpg"), 1400, 900);
        QByteArray bytes = readFile(whole);
        bytes.truncate(bytes.size() * 2 / 3);
        const QString cut = t.path(QStringLiteral("cut.jpg"));
        writeFile(cut, bytes);
        QString text;
        const auto message = acceptNextMessage(&text);
        t.st().PicturePath = cut;
        t.form1()->LoadPicture();
        QVERIFY(message.answered());
        QVERIFY(text.contains(cut));
        QCOMPARE(pooledPixelBytes(), std::size_t{0});
        QCOMPARE(t.st().SourceImage.width(), 1200);
    }
};

QTEST_MAIN(InputMemoryTest)
#include "input_memory_test.moc"
