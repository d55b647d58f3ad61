// Runs the fuzz entry over files instead of generated inputs: each file given (or each file
// under each folder given, recursively) whole, and cut short every 256 bytes within the first
// 64 KiB, since a stream that ends early is the input readers get wrong most often. A crash or a
// sanitizer report ends the program; otherwise it tells how many inputs it ran.

#include <QByteArray>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <cstddef>
#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

int runOne(const QByteArray& bytes) {
    // A copy of exactly the input's size, so that a read past its end is a heap overflow the
    // address sanitizer sees.
    const QByteArray input(bytes.constData(), bytes.size());
    return LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(input.constData()),
                                  static_cast<std::size_t>(input.size()));
}

long runFile(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", qPrintable(path));
        return -1;
    }
    const QByteArray bytes = f.readAll();
    long runs = 0;
    for (qsizetype cut = 0; cut < bytes.size() && cut < 65536; cut += 256, ++runs) runOne(bytes.left(cut));
    runOne(bytes);
    return runs + 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FILE_OR_FOLDER...\n", argv[0]);
        return 2;
    }
    long runs = 0, files = 0;
    for (int i = 1; i < argc; ++i) {
        const QString arg = QString::fromLocal8Bit(argv[i]);
        QStringList paths;
        if (QFileInfo(arg).isDir()) {
            QDirIterator it(arg, QDir::Files, QDirIterator::Subdirectories);
            while (it.hasNext()) paths << it.next();
        } else {
            paths << arg;
        }
        if (paths.isEmpty()) {
            std::fprintf(stderr, "no input in %s\n", argv[i]);
            return 1;
        }
        for (const QString& p : paths) {
            const long n = runFile(p);
            if (n < 0) return 1;
            runs += n;
            ++files;
        }
    }
    std::printf("%ld inputs from %ld files ran to a defined end\n", runs, files);
    return 0;
}
