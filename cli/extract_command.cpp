// nocturo-cli extract [options] INPUT...: star extraction of JPEG pictures without a window.
// Loads each picture as the main window does, draws it as the full-picture draw (or a range draw)
// does, and writes ProcessedImage (and MarkImage) bit for bit.

#include "commands.h"

#include "common/error_text.h"
#include "common/int_parse.h"
#include "common/jpeg_codec.h"
#include "common/png_codec.h"
#include "exif/exif_info.h"
#include "exif/shot_data.h"
#include "extract/extraction.h"
#include "extract/processing.h"
#include "input/picture_loader.h"

#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QImage>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSet>
#include <QTemporaryDir>
#include <QStringList>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <exception>
#include <limits>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <thread>
#include <vector>

#include <sys/resource.h>

using namespace nocturo;

namespace {

// A bad option: reported with the usage text, exit status 2.
struct UsageError {
    QString message;
};

enum class OutputKind { None, Png, Jpeg };

struct Job {
    QString input;
    QString output;  // empty: no picture written
    OutputKind kind = OutputKind::None;
    QString mark;  // empty: no mark image written
};

struct Settings {
    ExtractionParams params;
    std::optional<ProcRect> range;
    bool resize = false;
    int longSide = 0;
    bool strip = true;
    int quality = 80;
    bool invert = false;
    bool time = false;
    bool bareDecode = false;  // --time with one file at a time: also time a bare decode of each
    int jobs = 1;
};

struct Result {
    bool done = false;
    bool ok = false;
    int stars = 0;
    QString error;
    QString timing;
    double decodeMs = 0, drawMs = 0, encodeMs = 0;
};

void printErr(const QString& text) {
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stderr);
    std::fputc('\n', stderr);
}

void printOut(const QString& text) {
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

int intOption(const QCommandLineParser& parser, const QString& name, int lo, int hi) {
    const QString text = parser.value(name);
    const std::optional<int> v = tryParseInt(text);
    if (!v) throw UsageError{QStringLiteral("--%1: %2").arg(name, ConversionError(text).message())};
    if (*v < lo || *v > hi)
        throw UsageError{QStringLiteral("--%1: %2 is out of range (%3..%4)").arg(name).arg(*v).arg(lo).arg(hi)};
    return *v;
}

ColorValue parseBackground(const QString& text, bool& specified) {
    if (text == QLatin1String("original")) {
        specified = false;
        return kBlack;
    }
    static const QRegularExpression hex(QStringLiteral("^#([0-9A-Fa-f]{2})([0-9A-Fa-f]{2})([0-9A-Fa-f]{2})$"));
    const QRegularExpressionMatch m = hex.match(text);
    if (!m.hasMatch())
        throw UsageError{QStringLiteral("--background: '%1' is neither 'original' nor a colour #RRGGBB").arg(text)};
    specified = true;
    return makeColor(m.captured(1).toInt(nullptr, 16), m.captured(2).toInt(nullptr, 16),
                     m.captured(3).toInt(nullptr, 16));
}

ProcRect parseRange(const QString& text) {
    const QStringList parts = text.split(u',');
    if (parts.size() != 4) throw UsageError{QStringLiteral("--rect: '%1' is not L,T,R,B").arg(text)};
    int v[4];
    for (int i = 0; i < 4; ++i) {
        const std::optional<int> n = tryParseInt(parts[i]);
        if (!n) throw UsageError{QStringLiteral("--rect: %1").arg(ConversionError(parts[i]).message())};
        v[i] = *n;
    }
    if (v[0] < 0 || v[1] < 0 || v[2] < v[0] || v[3] < v[1])
        throw UsageError{QStringLiteral("--rect: %1 needs 0 <= L <= R and 0 <= T <= B").arg(text)};
    // A dragged range smaller than this runs no operation in the window either.
    if (v[2] - v[0] + 1 <= 2 || v[3] - v[1] + 1 <= 2)
        throw UsageError{QStringLiteral("--rect: %1 is smaller than 3 x 3 pixels").arg(text)};
    return rangeRect(v[0], v[1], v[2], v[3]);
}

OutputKind kindOf(const QString& path) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("png")) return OutputKind::Png;
    if (suffix == QLatin1String("jpg") || suffix == QLatin1String("jpeg")) return OutputKind::Jpeg;
    return OutputKind::None;
}

// Output names: one input writes to the given file; several (or a folder given for one) write
// <input name>.png and <input name>-mark.png into the folder.
void assignOutputs(std::vector<Job>& jobs, const QString& output, const QString& mark) {
    auto folder = [](const QString& path) { return QFileInfo(path).isDir(); };
    const bool several = jobs.size() > 1;
    if (!output.isEmpty()) {
        if (folder(output)) {
            for (Job& j : jobs) {
                j.output = QDir(output).filePath(QFileInfo(j.input).completeBaseName() + QStringLiteral(".png"));
                j.kind = OutputKind::Png;
            }
        } else if (several) {
            throw UsageError{QStringLiteral("-o: with several inputs '%1' must be an existing folder").arg(output)};
        } else {
            jobs[0].kind = kindOf(output);
            if (jobs[0].kind == OutputKind::None)
                throw UsageError{QStringLiteral("-o: '%1' must end in .png, .jpg or .jpeg").arg(output)};
            if (!QFileInfo(QFileInfo(output).absolutePath()).isDir())
                throw UsageError{QStringLiteral("-o: the folder of '%1' does not exist").arg(output)};
            jobs[0].output = output;
        }
    }
    if (!mark.isEmpty()) {
        if (folder(mark)) {
            for (Job& j : jobs)
                j.mark = QDir(mark).filePath(QFileInfo(j.input).completeBaseName() + QStringLiteral("-mark.png"));
        } else if (several) {
            throw UsageError{QStringLiteral("--mark: with several inputs '%1' must be an existing folder").arg(mark)};
        } else {
            if (kindOf(mark) != OutputKind::Png)
                throw UsageError{QStringLiteral("--mark: '%1' must end in .png").arg(mark)};
            if (!QFileInfo(QFileInfo(mark).absolutePath()).isDir())
                throw UsageError{QStringLiteral("--mark: the folder of '%1' does not exist").arg(mark)};
            jobs[0].mark = mark;
        }
    }
    // No file may be written twice, and no input may be overwritten.
    QSet<QString> inputs, written;
    for (const Job& j : jobs) inputs.insert(QFileInfo(j.input).absoluteFilePath());
    for (const Job& j : jobs)
        for (const QString* path : {&j.output, &j.mark}) {
            if (path->isEmpty()) continue;
            const QString abs = QFileInfo(*path).absoluteFilePath();
            if (inputs.contains(abs)) throw UsageError{QStringLiteral("'%1' would overwrite an input").arg(*path)};
            if (written.contains(abs))
                throw UsageError{QStringLiteral("'%1' would be written for two inputs (same file name)").arg(*path)};
            written.insert(abs);
        }
}

void invertBytes(WorkImage& image) {
    const std::size_t bytes = 3 * static_cast<std::size_t>(image.width());
    for (int y = 0; y < image.height(); ++y) {
        std::uint8_t* row = image.row(y);
        for (std::size_t i = 0; i < bytes; ++i) row[i] = static_cast<std::uint8_t>(255 - row[i]);
    }
}

void writePng(const WorkImage& image, const QString& path) { png::encodeFile(image, path); }

void writePicture(const WorkImage& image, const Job& job, int quality) {
    if (job.kind == OutputKind::Png)
        writePng(image, job.output);
    else
        jpeg::encodeFile(image, job.output, quality);
}

// ReadShotData goes through the EXIF component; one file at a time keeps it clear of any shared
// state it may have.
std::mutex& shotDataMutex() {
    static std::mutex m;
    return m;
}

// The parser names the executable's path; the usage line names the command as it is typed.
QString usageText(const QCommandLineParser& parser) {
    QString text = parser.helpText();
    const qsizetype options = text.indexOf(QStringLiteral(" [options]"));
    if (text.startsWith(QStringLiteral("Usage: ")) && options > 0)
        text.replace(7, options - 7, QStringLiteral("nocturo-cli extract"));
    return text;
}

double msOf(QElapsedTimer& t) { return static_cast<double>(t.nsecsElapsed()) / 1e6; }

Result processOne(const Job& job, const Settings& s, const QString& scratchFolder, int index, int threadsPerPicture) {
    Result r;
    QElapsedTimer clock;
    clock.start();
    ShotData shot;
    {
        std::lock_guard<std::mutex> lock(shotDataMutex());
        TExifInfo exif;
        shot = ReadShotData(exif, job.input);
    }
    LoadOptions options;
    options.path = job.input;
    options.resize = s.resize;
    options.longSide = s.longSide;
    setStripFromShotData(options, s.strip, shot);
    // The quality-100 round trip of a scaling load, in this run's private folder.
    const QString scratch = QDir(scratchFolder).filePath(QStringLiteral("scaled-%1.jpg").arg(index));
    LoadedPicture picture = loadPictureFile(options, scratch);
    const double decodeMs = msOf(clock);

    WorkingImages images{picture.source, picture.processed, picture.marks, picture.workWidth, picture.workHeight};
    ExtractionParams params = s.params;
    params.threads = threadsPerPicture;
    PhaseTimes times;
    if (s.range) {
        const ProcRect& range = *s.range;
        if (range.ProcRight >= picture.workWidth || range.ProcBottom >= picture.workHeight)
            throw std::runtime_error(QStringLiteral("--rect %1,%2,%3,%4 is not inside the picture (%5 x %6)")
                                         .arg(range.ProcLeft)
                                         .arg(range.ProcTop)
                                         .arg(range.ProcRight)
                                         .arg(range.ProcBottom)
                                         .arg(picture.workWidth)
                                         .arg(picture.workHeight)
                                         .toStdString());
        clearMarks(picture.marks, range);
        r.stars = ProcessRectangle(images, range, params, {}, &times);
    } else {
        r.stars = ProcessRectangle(images, fullPictureRect(picture.source, picture.strip ? 1 : 0), params, {}, &times);
    }

    // The bare decode of the same file, just after the draw: the draw's yardstick in this run.
    double bareMs = 0;
    if (s.bareDecode) {
        clock.restart();
        jpeg::decodeFileRows(job.input);
        bareMs = msOf(clock);
    }

    clock.restart();
    if (!job.output.isEmpty()) {
        if (s.invert) invertBytes(picture.processed);
        writePicture(picture.processed, job, s.quality);
    }
    if (!job.mark.isEmpty()) writePng(picture.marks, job.mark);
    const double encodeMs = msOf(clock);
    const double drawMs = times.extractMs + times.enlargeMs + times.countMs;
    r.decodeMs = decodeMs;
    r.drawMs = drawMs;
    r.encodeMs = encodeMs;
    r.timing = QStringLiteral("%1: decode %2 ms, extract %3 ms, enlarge %4 ms, count %5 ms, encode %6 ms")
                   .arg(job.input)
                   .arg(decodeMs, 0, 'f', 1)
                   .arg(times.extractMs, 0, 'f', 1)
                   .arg(times.enlargeMs, 0, 'f', 1)
                   .arg(times.countMs, 0, 'f', 1)
                   .arg(encodeMs, 0, 'f', 1);
    if (s.bareDecode)
        r.timing += QStringLiteral(", bare decode %1 ms, draw/bare decode %2")
                        .arg(bareMs, 0, 'f', 1)
                        .arg(bareMs > 0 ? drawMs / bareMs : 0.0, 0, 'f', 2);
    r.ok = true;
    return r;
}

}  // namespace

int runExtract(int argc, char** argv) {
    QStringList args;
    for (int i = 0; i < argc; ++i) args << QString::fromLocal8Bit(argv[i]);

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Star extraction of JPEG pictures, as the full-picture draw of the main window does it.\n"
                       "Prints \"INPUT: stars: N\" for each input; with one input the last line is \"stars: N\".\n"
                       "Exit status: 0 all processed, 1 an input failed, 2 bad options."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("INPUT"), QStringLiteral("JPEG pictures"), QStringLiteral("INPUT..."));
    const QCommandLineOption output(
        {QStringLiteral("o"), QStringLiteral("output")},
        QStringLiteral("One input: the output file (.png lossless, .jpg/.jpeg baseline JPEG at "
                       "--quality). Several inputs: an existing folder (INPUT-name.png)."),
        QStringLiteral("PATH"));
    const QCommandLineOption threshold(QStringLiteral("threshold"), QStringLiteral("Threshold (default 10)."),
                                       QStringLiteral("N"), QStringLiteral("10"));
    const QCommandLineOption brightness(QStringLiteral("brightness"),
                                        QStringLiteral("Brightness + in percent (default 30)."), QStringLiteral("N"),
                                        QStringLiteral("30"));
    const QCommandLineOption saturation(QStringLiteral("saturation"),
                                        QStringLiteral("Saturation ± in percent (default 0)."), QStringLiteral("N"),
                                        QStringLiteral("0"));
    const QCommandLineOption noEnlarge(QStringLiteral("no-enlarge"), QStringLiteral("Do not enlarge bright stars."));
    const QCommandLineOption background(QStringLiteral("background"),
                                        QStringLiteral("original (default: draw over the original) or #RRGGBB "
                                                       "(the specified colour)."),
                                        QStringLiteral("original|#RRGGBB"), QStringLiteral("original"));
    const QCommandLineOption backgroundOnly(
        QStringLiteral("background-only"),
        QStringLiteral("The full-picture draw with a button other than the left one: "
                       "star pixels are left alone."));
    const QCommandLineOption rect(
        QStringLiteral("rect"),
        QStringLiteral("A range draw over L..R x T..B (inclusive, at least 3 x 3) instead of the "
                       "whole picture."),
        QStringLiteral("L,T,R,B"));
    const QCommandLineOption longSide(
        QStringLiteral("long-side"), QStringLiteral("Load scaled so that the long side has N pixels (below 100: 100)."),
        QStringLiteral("N"));
    const QCommandLineOption strip(
        QStringLiteral("strip"),
        QStringLiteral("The shooting-data strip under pictures with a shooting date (default)."));
    const QCommandLineOption noStrip(QStringLiteral("no-strip"), QStringLiteral("No shooting-data strip."));
    const QCommandLineOption mark(
        QStringLiteral("mark"),
        QStringLiteral("Also write the mark image as PNG (one input: a file; several: an existing "
                       "folder, INPUT-name-mark.png)."),
        QStringLiteral("PATH"));
    const QCommandLineOption quality(QStringLiteral("quality"), QStringLiteral("JPEG quality 1..100 (default 80)."),
                                     QStringLiteral("Q"), QStringLiteral("80"));
    const QCommandLineOption invert(QStringLiteral("invert"),
                                    QStringLiteral("Write the picture with inverted colours."));
    const QCommandLineOption time(
        QStringLiteral("time"),
        QStringLiteral("Per-phase times on stderr: decode, extract, enlarge, count, encode (ms)."));
    const QCommandLineOption jobs(QStringLiteral("j"),
                                  QStringLiteral("Process up to N files at once (default: the cores)."),
                                  QStringLiteral("N"));
    for (const QCommandLineOption* o :
         {&output, &threshold, &brightness, &saturation, &noEnlarge, &background, &backgroundOnly, &rect, &longSide,
          &strip, &noStrip, &mark, &quality, &invert, &time, &jobs})
        parser.addOption(*o);

    Settings s;
    std::vector<Job> work;
    try {
        if (!parser.parse(args)) throw UsageError{parser.errorText()};
        if (parser.isSet(QStringLiteral("help"))) {
            printOut(usageText(parser));
            return 0;
        }
        const QStringList inputs = parser.positionalArguments();
        if (inputs.isEmpty()) throw UsageError{QStringLiteral("no INPUT given")};
        // The combo boxes take any 32-bit integer: so do these.
        s.params.StarThreshold = intOption(parser, threshold.names().first(), std::numeric_limits<int>::min(),
                                           std::numeric_limits<int>::max());
        s.params.BrightnessPercent = intOption(parser, brightness.names().first(), std::numeric_limits<int>::min(),
                                               std::numeric_limits<int>::max());
        s.params.SaturationPercent = intOption(parser, saturation.names().first(), std::numeric_limits<int>::min(),
                                               std::numeric_limits<int>::max());
        s.params.EnlargeBrightStars = !parser.isSet(noEnlarge);
        s.params.ExtractionColor = parseBackground(parser.value(background), s.params.SpecifiedColourMode);
        s.params.BackgroundOnlyMode = parser.isSet(backgroundOnly) ? 1 : 0;
        if (parser.isSet(rect)) s.range = parseRange(parser.value(rect));
        if (parser.isSet(longSide)) {
            s.resize = true;
            s.longSide = intOption(parser, longSide.names().first(), 1, 65500);
        }
        if (parser.isSet(strip) && parser.isSet(noStrip))
            throw UsageError{QStringLiteral("--strip and --no-strip together")};
        s.strip = !parser.isSet(noStrip);
        s.quality = intOption(parser, quality.names().first(), 1, 100);
        s.invert = parser.isSet(invert);
        s.time = parser.isSet(time);
        const int cores = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
        s.jobs = parser.isSet(jobs) ? intOption(parser, jobs.names().first(), 1, 1024) : cores;
        for (const QString& in : inputs) work.push_back(Job{in, {}, OutputKind::None, {}});
        assignOutputs(work, parser.value(output), parser.value(mark));
    } catch (const UsageError& e) {
        printErr(QStringLiteral("nocturo-cli extract: %1").arg(e.message));
        printErr(usageText(parser));
        return 2;
    }

    // Files run side by side up to -j; a picture alone may use two threads for its first pass.
    const int n = static_cast<int>(work.size());
    const int workers = std::min(s.jobs, n);
    const int threadsPerPicture = workers > 1 ? 1 : 0;
    // Side by side, a bare decode would compete with the other files: only one at a time.
    s.bareDecode = s.time && workers == 1;
    QElapsedTimer batchClock;
    batchClock.start();
    const QTemporaryDir scratchFolder(QDir(QDir::tempPath()).filePath(QStringLiteral("nocturo-cli-XXXXXX")));
    if (!scratchFolder.isValid()) {
        printErr(
            QStringLiteral("nocturo-cli extract: cannot create a scratch folder: %1").arg(scratchFolder.errorString()));
        return 1;
    }
    std::vector<Result> results(static_cast<std::size_t>(n));
    std::mutex mutex;
    std::condition_variable ready;
    std::atomic<int> next{0};
    auto worker = [&] {
        for (;;) {
            const int i = next.fetch_add(1);
            if (i >= n) return;
            Result r;
            try {
                r = processOne(work[static_cast<std::size_t>(i)], s, scratchFolder.path(), i, threadsPerPicture);
            } catch (...) {
                r.ok = false;
                r.error = exceptionText(std::current_exception());
            }
            r.done = true;
            {
                std::lock_guard<std::mutex> lock(mutex);
                results[static_cast<std::size_t>(i)] = std::move(r);
            }
            ready.notify_all();
        }
    };
    std::vector<std::thread> pool;
    for (int t = 0; t < workers; ++t) pool.emplace_back(worker);
    // This thread prints the results in input order as they complete.
    bool anyFailed = false;
    for (int i = 0; i < n; ++i) {
        std::unique_lock<std::mutex> lock(mutex);
        ready.wait(lock, [&] { return results[static_cast<std::size_t>(i)].done; });
        const Result r = results[static_cast<std::size_t>(i)];
        lock.unlock();
        const QString& input = work[static_cast<std::size_t>(i)].input;
        if (r.ok) {
            printOut(QStringLiteral("%1: stars: %2").arg(input).arg(r.stars));
            if (s.time) printErr(r.timing);
        } else {
            anyFailed = true;
            printErr(QStringLiteral("%1: %2").arg(input, r.error));
        }
    }
    for (std::thread& t : pool) t.join();
    if (s.time && n > 1) {
        // Throughput of the batch, each phase's share of the files' time and the peak memory.
        const double wallMs = msOf(batchClock);
        double decode = 0, draw = 0, encode = 0;
        int done = 0;
        for (const Result& r : results) {
            if (!r.ok) continue;
            ++done;
            decode += r.decodeMs;
            draw += r.drawMs;
            encode += r.encodeMs;
        }
        const double all = std::max(decode + draw + encode, 1e-9);
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        printErr(QStringLiteral("batch: %1 files in %2 ms at -j %3: %4 files/s, %5 ms per file; decode %6 %, "
                                "draw %7 %, encode %8 %; peak memory %9 MiB")
                     .arg(done)
                     .arg(wallMs, 0, 'f', 0)
                     .arg(workers)
                     .arg(done / (wallMs / 1000.0), 0, 'f', 2)
                     .arg(done > 0 ? wallMs / done : 0.0, 0, 'f', 0)
                     .arg(100.0 * decode / all, 0, 'f', 0)
                     .arg(100.0 * draw / all, 0, 'f', 0)
                     .arg(100.0 * encode / all, 0, 'f', 0)
                     .arg(static_cast<double>(usage.ru_maxrss) / 1024.0, 0, 'f', 0));
    }
    // The pool of released blocks paid between the files; nothing needs it now.
    releaseUnusedPixelMemory();
    if (n == 1 && results[0].ok) printOut(QStringLiteral("stars: %1").arg(results[0].stars));
    return anyFailed ? 1 : 0;
}
