// nocturo-cli extract [options] INPUT...: star extraction of JPEG pictures without a window.
// Loads each picture as the main window does, draws it as the full-picture draw (or a range draw)
// does, and writes ProcessedImage (and MarkImage) bit for bit; optionally the list of counted
// stars per picture and a summary of the batch.

#include "commands.h"

#include "common/error_text.h"
#include "common/int_parse.h"
#include "common/jpeg_codec.h"
#include "common/png_codec.h"
#include "exif/exif_info.h"
#include "exif/photo_facts.h"
#include "exif/shot_data.h"
#include "extract/extraction.h"
#include "extract/processing.h"
#include "extract/star_list.h"
#include "extract/saving.h"
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

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
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
    QString mark;  // empty: no mark image written
    QString stars;  // empty: no star list written
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
    QString summary;  // empty: no summary
    bool quiet = false;
    bool exif = true;  // the outputs carry the input's EXIF
    bool gps = true;   // ... with its GPS directory
};

struct Result {
    bool done = false;
    bool ok = false;
    int stars = 0;
    QString error;
    QString timing;
    // For the summary.
    PhotoFacts facts;
    int width = 0, height = 0;
    double starShare = 0;  // labelled or marked pixels over all pixels of the picture
    double ms = 0;
    QString warning;  // the picture was written, but without its EXIF
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

// Where one output option sends each job's file: into the folder it names as <input name> +
// `suffix`; else, for a single input, to the file itself, when it has one of the `endings`
// (`accepted`) and its folder exists. Empty paths when the option was not given.
std::vector<QString> targetsOf(const std::vector<Job>& jobs, const char* option, const QString& value,
                               const QString& suffix, bool (*accepted)(const QString&), const char* endings) {
    std::vector<QString> paths(jobs.size());
    if (value.isEmpty()) return paths;
    const QString name = QString::fromLatin1(option);
    if (QFileInfo(value).isDir()) {
        for (std::size_t i = 0; i < jobs.size(); ++i)
            paths[i] = QDir(value).filePath(QFileInfo(jobs[i].input).completeBaseName() + suffix);
        return paths;
    }
    if (jobs.size() > 1)
        throw UsageError{QStringLiteral("%1: with several inputs '%2' must be an existing folder").arg(name, value)};
    if (!accepted(value))
        throw UsageError{QStringLiteral("%1: '%2' must end in %3").arg(name, value, QString::fromLatin1(endings))};
    if (!QFileInfo(QFileInfo(value).absolutePath()).isDir())
        throw UsageError{QStringLiteral("%1: the folder of '%2' does not exist").arg(name, value)};
    paths[0] = value;
    return paths;
}

// Output names: one input writes to the given file; several (or a folder given for one) write
// <input name>.png, <input name>-mark.png and <input name>-stars.csv into the folder.
void assignOutputs(std::vector<Job>& jobs, const QString& output, const QString& mark, const QString& stars,
                   const QString& summary) {
    const std::vector<QString> outputs = targetsOf(
        jobs, "-o", output, QStringLiteral(".png"), [](const QString& p) { return kindOf(p) != OutputKind::None; },
        ".png, .jpg or .jpeg");
    const std::vector<QString> marks = targetsOf(
        jobs, "--mark", mark, QStringLiteral("-mark.png"), [](const QString& p) { return kindOf(p) == OutputKind::Png; },
        ".png");
    const std::vector<QString> lists =
        targetsOf(jobs, "--stars", stars, QStringLiteral("-stars.csv"), isStarListPath, ".csv or .json");
    for (std::size_t i = 0; i < jobs.size(); ++i) {
        jobs[i].output = outputs[i];
        jobs[i].mark = marks[i];
        jobs[i].stars = lists[i];
    }
    if (!summary.isEmpty()) {
        if (QFileInfo(summary).suffix().toLower() != QLatin1String("csv") || QFileInfo(summary).isDir())
            throw UsageError{QStringLiteral("--summary: '%1' must be a file ending in .csv").arg(summary)};
        if (!QFileInfo(QFileInfo(summary).absolutePath()).isDir())
            throw UsageError{QStringLiteral("--summary: the folder of '%1' does not exist").arg(summary)};
    }
    // No file may be written twice, and no input may be overwritten.
    QSet<QString> inputs, written;
    for (const Job& j : jobs) inputs.insert(QFileInfo(j.input).absoluteFilePath());
    auto claim = [&](const QString& path) {
        if (path.isEmpty()) return;
        const QString abs = QFileInfo(path).absoluteFilePath();
        if (inputs.contains(abs)) throw UsageError{QStringLiteral("'%1' would overwrite an input").arg(path)};
        if (written.contains(abs))
            throw UsageError{QStringLiteral("'%1' would be written twice (same file name)").arg(path)};
        written.insert(abs);
    };
    for (const Job& j : jobs)
        for (const QString* path : {&j.output, &j.mark, &j.stars}) claim(*path);
    claim(summary);
}

void invertBytes(WorkImage& image) {
    const std::size_t bytes = 3 * static_cast<std::size_t>(image.width());
    for (int y = 0; y < image.height(); ++y) {
        std::uint8_t* row = image.row(y);
        for (std::size_t i = 0; i < bytes; ++i) row[i] = static_cast<std::uint8_t>(255 - row[i]);
    }
}

void writePng(const WorkImage& image, const QString& path) { png::encodeFile(image, path); }

// The output picture with the input's EXIF (as an APP1 block or a PNG eXIf chunk); a failed
// EXIF step leaves it out and says why in exifProblem.
void writePicture(const WorkImage& image, const Job& job, int quality, const SaveExif& exif, QString* exifProblem) {
    if (kindOf(job.output) == OutputKind::Png) {
        std::vector<png::Chunk> chunks;
        if (std::optional<png::Chunk> chunk = SavedExifChunk(image, exif, exifProblem)) chunks.push_back(std::move(*chunk));
        png::encodeFile(image, job.output, chunks);
    } else {
        WriteSavedPicture(image, false, quality, job.output, exif, exifProblem);
    }
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

// Pixels of the mark image that the draw marked (red, or blue and green once counted).
double markedShare(const WorkImage& marks, int width, int height) {
    if (width <= 0 || height <= 0) return 0;
    std::int64_t marked = 0;
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* row = marks.row(y);
        for (int x = 0; x < width; ++x) marked += (row[3 * x] | row[3 * x + 1] | row[3 * x + 2]) != 0 ? 1 : 0;
    }
    return static_cast<double>(marked) / (static_cast<double>(width) * height);
}

void processOne(const Job& job, const Settings& s, const QString& scratchFolder, int index, int threadsPerPicture,
                  Result& r) {
    QElapsedTimer total;
    total.start();
    QElapsedTimer clock;
    clock.start();
    ShotData shot;
    std::unique_ptr<TExifInfo> sourceExif;
    {
        std::lock_guard<std::mutex> lock(shotDataMutex());
        TExifInfo exif;
        shot = ReadShotData(exif, job.input);
        r.facts = ReadPhotoFacts(exif);
        if (s.exif && !job.output.isEmpty()) {
            // An unreadable EXIF block is no EXIF: the picture is still written.
            try {
                sourceExif = std::make_unique<TExifInfo>();
                sourceExif->setImageFileName(job.input);
            } catch (const EExifError&) {
                sourceExif.reset();
            }
        }
    }
    LoadOptions options;
    options.path = job.input;
    options.resize = s.resize;
    options.longSide = s.longSide;
    setStripFromShotData(options, s.strip, shot);
    // The draw's lists get their pages on the other core while this one decodes.
    options.whileDecoding = PrepareDrawMemory;
    // The quality-100 round trip of a scaling load, in this run's private folder.
    const QString scratch = QDir(scratchFolder).filePath(QStringLiteral("scaled-%1.jpg").arg(index));
    LoadedPicture picture = loadPictureFile(options, scratch);
    const double decodeMs = msOf(clock);

    WorkingImages images{picture.source, picture.processed, picture.marks, picture.workWidth, picture.workHeight};
    ExtractionParams params = s.params;
    params.threads = threadsPerPicture;
    PhaseTimes times;
    std::optional<StarCollector> stars;
    if (!job.stars.isEmpty()) stars.emplace(picture.source);
    StarCollector* collector = stars ? &*stars : nullptr;
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
        r.stars = ProcessRectangle(images, range, params, {}, &times, collector);
    } else {
        r.stars = ProcessRectangle(images, fullPictureRect(picture.source, picture.strip ? 1 : 0), params, {}, &times,
                                   collector);
    }
    r.width = picture.workWidth;
    r.height = picture.workHeight;
    if (!s.summary.isEmpty()) r.starShare = markedShare(picture.marks, picture.workWidth, picture.workHeight);

    // The bare decode of the same file, just after the draw: the draw's yardstick in this run.
    double bareMs = 0;
    if (s.bareDecode) {
        clock.restart();
        jpeg::decodeFileRows(job.input);
        bareMs = msOf(clock);
    }

    clock.restart();
    // The star list reads the source and the mark image its marks; the picture needs neither, so
    // they go back to the pool first and the PNG writer's buffers take their memory instead of
    // fresh memory beside them: a file in flight holds at most three pictures' worth.
    if (stars) writeStarList(job.stars, stars->sortedStars());
    stars.reset();
    if (!job.mark.isEmpty()) writePng(picture.marks, job.mark);
    picture.marks = WorkImage();
    picture.source = WorkImage();
    if (!job.output.isEmpty()) {
        if (s.invert) invertBytes(picture.processed);
        SaveExif exif;
        exif.source = sourceExif.get();
        exif.keepGps = s.gps;
        writePicture(picture.processed, job, s.quality, exif, &r.warning);
    }
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
    r.ms = msOf(total) - bareMs;  // the yardstick decode is no part of the picture's time
    if (s.bareDecode)
        r.timing += QStringLiteral(", bare decode %1 ms, draw/bare decode %2")
                        .arg(bareMs, 0, 'f', 1)
                        .arg(bareMs > 0 ? drawMs / bareMs : 0.0, 0, 'f', 2);
    r.ok = true;
}

// ---- The summary of a batch.

QString csvField(const QString& text) {
    if (!text.contains(u',') && !text.contains(u'"') && !text.contains(u'\n') && !text.contains(u'\r')) return text;
    QString quoted = text;
    quoted.replace(QStringLiteral("\""), QStringLiteral("\"\""));
    return u'"' + quoted + u'"';
}

QByteArray summaryCsv(const std::vector<Job>& jobs, const std::vector<Result>& results, int rows) {
    QString out = QStringLiteral(
        "file,date,exposure,f_number,iso,focal_length_mm,camera,width,height,stars,star_pixels,gps_lat,gps_lon,ms,"
        "error\n");
    auto opt = [](const std::optional<double>& v) { return v ? decimalText(*v) : QString(); };
    for (int i = 0; i < rows; ++i) {
        const Result& r = results[static_cast<std::size_t>(i)];
        QStringList f;
        f << csvField(jobs[static_cast<std::size_t>(i)].input);
        if (r.ok) {
            const PhotoFacts& p = r.facts;
            f << p.dateIso << opt(p.exposureSeconds) << opt(p.fNumber) << (p.iso ? QString::number(*p.iso) : QString())
              << opt(p.focalLengthMm) << csvField(p.camera) << QString::number(r.width) << QString::number(r.height)
              << QString::number(r.stars) << QString::number(r.starShare, 'f', 4)
              << (p.position ? degreesText(p.position->latitude) : QString())
              << (p.position ? degreesText(p.position->longitude) : QString()) << QString::number(r.ms, 'f', 1)
              << QString();
        } else {
            for (int k = 0; k < 13; ++k) f << QString();
            f << csvField(r.error.simplified());
        }
        out += f.join(u',') + u'\n';
    }
    return out.toUtf8();
}

bool writeSummary(const QString& path, const QByteArray& bytes, QString* error) {
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit()) return true;
    *error = file.errorString();
    file.cancelWriting();
    return false;
}

// ---- Ctrl+C: the files in progress are finished, no new one is started.

std::atomic<bool> interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void onInterrupt(int) { interrupted.store(true); }

// A second Ctrl+C ends the program at once (the default action comes back with the first).
// An interrupt that the caller ignores (a background job of a script) stays ignored.
void catchInterrupt() {
    struct sigaction old {};
    if (sigaction(SIGINT, nullptr, &old) != 0 || old.sa_handler == SIG_IGN) return;
    struct sigaction sa {};
    sa.sa_handler = onInterrupt;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESETHAND;
    sigaction(SIGINT, &sa, nullptr);
}

// ---- The progress line on a terminal.

QString clockText(qint64 ms) {
    const qint64 s = ms / 1000;
    return s >= 3600 ? QStringLiteral("%1:%2:%3").arg(s / 3600).arg(s / 60 % 60, 2, 10, QChar(u'0')).arg(s % 60, 2, 10, QChar(u'0'))
                     : QStringLiteral("%1:%2").arg(s / 60).arg(s % 60, 2, 10, QChar(u'0'));
}

class ProgressLine {
public:
    ProgressLine(bool on, int total) : on_(on), total_(total) { clock_.start(); }

    void show(int done, const QString& current) {
        if (!on_) return;
        const qint64 elapsed = clock_.elapsed();
        const QString left =
            done > 0 ? clockText(elapsed * (total_ - done) / done) : QStringLiteral("--:--");
        QString line = QStringLiteral("[%1/%2] %3  elapsed %4  left %5")
                           .arg(done)
                           .arg(total_)
                           .arg(QFileInfo(current).fileName(), clockText(elapsed), left);
        // The line must not wrap, or the next update would not overwrite it.
        winsize ws{};
        if (ioctl(STDERR_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 1 && line.size() >= ws.ws_col)
            line = line.left(ws.ws_col - 1);
        const QByteArray bytes = "\r" + line.toLocal8Bit() + "\x1b[K";
        std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stderr);
        std::fflush(stderr);
        shown_ = true;
    }
    // Takes the line away before other output, which would otherwise run into it.
    void clear() {
        if (!shown_) return;
        std::fputs("\r\x1b[K", stderr);
        std::fflush(stderr);
        shown_ = false;
    }

private:
    bool on_;
    int total_;
    bool shown_ = false;
    QElapsedTimer clock_;
};

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
                       "--quality), carrying the input's EXIF data. Several inputs: an existing folder "
                       "(INPUT-name.png)."),
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
    const QCommandLineOption noExif(QStringLiteral("no-exif"),
                                    QStringLiteral("Write the pictures without the input's EXIF data."));
    const QCommandLineOption noGps(QStringLiteral("no-gps"),
                                   QStringLiteral("Leave the GPS position out of the EXIF data written."));
    const QCommandLineOption jobs(QStringLiteral("j"),
                                  QStringLiteral("Process up to N files at once (default: the cores)."),
                                  QStringLiteral("N"));
    const QCommandLineOption starsOption(
        QStringLiteral("stars"),
        QStringLiteral("Also write the counted stars, brightest first (one input: a .csv or .json file; several: an "
                       "existing folder, INPUT-name-stars.csv)."),
        QStringLiteral("PATH"));
    const QCommandLineOption summaryOption(
        QStringLiteral("summary"),
        QStringLiteral("Write one line per input (shooting data, size, stars, time or the error) to a .csv file; "
                       "Ctrl+C finishes the files in progress, writes it and exits with 130."),
        QStringLiteral("PATH.csv"));
    const QCommandLineOption quietOption(QStringLiteral("quiet"),
                                         QStringLiteral("No progress line on a terminal."));
    for (const QCommandLineOption* o :
         {&output, &threshold, &brightness, &saturation, &noEnlarge, &background, &backgroundOnly, &rect, &longSide,
          &strip, &noStrip, &mark, &quality, &invert, &time, &noExif, &noGps, &jobs, &starsOption, &summaryOption, &quietOption})
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
        s.exif = !parser.isSet(noExif);
        s.gps = !parser.isSet(noGps);
        const int cores = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
        s.jobs = parser.isSet(jobs) ? intOption(parser, jobs.names().first(), 1, 1024) : cores;
        s.summary = parser.value(summaryOption);
        s.quiet = parser.isSet(quietOption);
        for (const QString& in : inputs) work.push_back(Job{in, {}, {}, {}});
        assignOutputs(work, parser.value(output), parser.value(mark), parser.value(starsOption), s.summary);
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
    int next = 0;         // the next input to start; guarded by mutex
    QString current;      // the input started last, for the progress line
    interrupted.store(false);
    catchInterrupt();
    auto worker = [&] {
        for (;;) {
            int i;
            {
                std::lock_guard<std::mutex> lock(mutex);
                if (interrupted.load() || next >= n) return;
                i = next++;
                current = work[static_cast<std::size_t>(i)].input;
            }
            Result r;
            try {
                processOne(work[static_cast<std::size_t>(i)], s, scratchFolder.path(), i, threadsPerPicture, r);
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
    ProgressLine progress(n > 1 && !s.quiet && isatty(STDERR_FILENO), n);
    // This thread prints the results in input order as they complete; after Ctrl+C it waits only
    // for the inputs already started.
    bool anyFailed = false;
    int finished = 0;
    for (int i = 0; i < n; ++i) {
        std::unique_lock<std::mutex> lock(mutex);
        while (!results[static_cast<std::size_t>(i)].done && !(interrupted.load() && i >= next)) {
            const QString name = current;
            lock.unlock();
            progress.show(finished, name);
            lock.lock();
            ready.wait_for(lock, std::chrono::milliseconds(200));
        }
        if (!results[static_cast<std::size_t>(i)].done) break;
        const Result r = results[static_cast<std::size_t>(i)];
        lock.unlock();
        ++finished;
        progress.clear();
        const QString& input = work[static_cast<std::size_t>(i)].input;
        if (r.ok) {
            if (!r.warning.isEmpty()) printErr(QStringLiteral("%1: %2").arg(input, r.warning));
            printOut(QStringLiteral("%1: stars: %2").arg(input).arg(r.stars));
            if (s.time) printErr(r.timing);
        } else {
            anyFailed = true;
            printErr(QStringLiteral("%1: %2").arg(input, r.error));
        }
        if (finished < n) {
            lock.lock();
            const QString name = current;
            lock.unlock();
            progress.show(finished, name);
        }
    }
    progress.clear();
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
    const bool stopped = interrupted.load() && finished < n;
    if (!s.summary.isEmpty()) {
        QString error;
        if (!writeSummary(s.summary, summaryCsv(work, results, finished), &error)) {
            printErr(QStringLiteral("nocturo-cli extract: cannot write the summary %1: %2").arg(s.summary, error));
            anyFailed = true;
        }
    }
    if (interrupted.load()) {
        printErr(stopped ? QStringLiteral("nocturo-cli extract: interrupted after %1 of %2 inputs").arg(finished).arg(n)
                         : QStringLiteral("nocturo-cli extract: interrupted"));
        return 130;
    }
    if (n == 1 && results[0].ok) printOut(QStringLiteral("stars: %1").arg(results[0].stars));
    return anyFailed ? 1 : 0;
}
