// nocturo-cli exif [--json] FILE...: what the EXIF component reads from each file.

#include "commands.h"

#include "exif/exif_info.h"
#include "exif/exif_tags.h"
#include "exif/shot_data.h"

#include <QCommandLineParser>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

#include <cstdio>
#include <memory>
#include <vector>

using namespace nocturo;

namespace {

const char* ifdName(TExifIFD ifd) {
    switch (ifd) {
    case eiTIFF: return "TIFF";
    case eiExif: return "Exif";
    case eiGPS: return "GPS";
    case eiInteroperability: return "Interoperability";
    }
    return "?";
}

QString typeName(std::uint8_t format) {
    static const char* const kNames[] = {"",      "BYTE",   "ASCII", "SHORT",     "LONG",  "RATIONAL", "SBYTE",
                                         "UNDEFINED", "SSHORT", "SLONG", "SRATIONAL", "FLOAT", "DOUBLE"};
    return format >= 1 && format <= 12 ? QString::fromLatin1(kNames[format]) : QStringLiteral("type %1").arg(format);
}

// One value block as JSON: a number, a [numerator, denominator] pair or the stream's hex.
QJsonValue blockJson(const TExifData& block) {
    return std::visit(
        [](const auto& v) -> QJsonValue {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, TExifURational> || std::is_same_v<T, TExifSRational>)
                return QJsonArray{static_cast<qint64>(v.Numerator), static_cast<qint64>(v.Denominator)};
            else if constexpr (std::is_same_v<T, std::unique_ptr<QByteArray>>)
                return QString::fromLatin1(v->toHex());
            else if constexpr (std::is_same_v<T, std::unique_ptr<MemoryStream>>)
                return QString::fromLatin1(v->bytes().toHex());
            else if constexpr (std::is_floating_point_v<T>)
                return static_cast<double>(v);
            else
                return static_cast<qint64>(v);
        },
        block);
}

QJsonValue entryValue(const TEntryItem& e) {
    if (e.Format() == efAscii) return e.GetStringData();
    if (e.Format() == efUndefined) return e.DataCount() > 0 ? blockJson(e.Data(0)) : QJsonValue(QString());
    if (ExifTypeSize(e.Format()) == 0) return QJsonValue::Null;  // unknown type: no values kept
    QJsonArray values;
    for (int i = 0; i < e.DataCount(); ++i) values.append(blockJson(e.Data(i)));
    return values;
}

QJsonArray entriesJson(const TEntryItems& items) {
    QJsonArray out;
    for (int i = 0; i < items.Count(); ++i) {
        const TEntryItem& e = *items[i];
        out.append(QJsonObject{{"ifd", ifdName(e.IFDNumber())},
                               {"tag", e.Tag()},
                               {"type", e.Format()},
                               {"count", static_cast<qint64>(e.ExifDataCount())},
                               {"offset", static_cast<qint64>(e.Offset())},
                               {"value", entryValue(e)}});
    }
    return out;
}

// The component after reading one file, with the codes it reported in order.
struct Reading {
    TExifInfo info;
    std::vector<int> errors;
    QString failure;  // the message of an error that ended the read, if any
};

std::unique_ptr<Reading> readFile(const QString& path) {
    auto r = std::make_unique<Reading>();
    r->info.setOnError([errors = &r->errors](TExifInfo*, int code, bool&) { errors->push_back(code); });
    try {
        r->info.setImageFileName(path);
    } catch (const EExifError& e) {
        r->failure = e.Message();
    }
    // Getters called later report their own misses: those are not the file's errors.
    r->info.setOnError(nullptr);
    return r;
}

QJsonValue byteOrderJson(const TExifInfo& info) {
    if (!info.ByteOrderRead()) return QJsonValue::Null;
    const QChar order[2] = {QChar(info.ByteOrder() & 0xFF), QChar(info.ByteOrder() >> 8)};
    return QString(order, 2);
}

// Everything the component read from one file, as one JSON object.
QJsonObject exifFileObject(const QString& path, const Reading& r) {
    QJsonArray errors;
    for (int code : r.errors) errors.append(code);
    QJsonObject obj{{"file", path},
                    {"jpeg_width", r.info.JpegWidth()},
                    {"jpeg_height", r.info.JpegHeight()},
                    {"app1_position", static_cast<qint64>(r.info.App1Position())},
                    {"byte_order", byteOrderJson(r.info)},
                    {"errors", errors},
                    {"main", entriesJson(r.info.Entrys())},
                    {"thumbnail", entriesJson(r.info.ThmEntrys())}};
    if (!r.failure.isEmpty()) obj["failure"] = r.failure;
    // The shooting-data texts the program builds from it (null when the file cannot be read).
    try {
        TExifInfo shotInfo;
        obj["shot"] = nocturo::ShotDataToJson(nocturo::ReadShotData(shotInfo, path));
    } catch (const std::exception&) {
        obj["shot"] = QJsonValue::Null;
    }
    return obj;
}

// ---- The readable listing ----

QString valueText(const TEntryItem& e) {
    if (e.Format() == efAscii) return '"' + e.GetStringData() + '"';
    if (e.Format() == efUndefined) {
        if (e.DataCount() == 0) return QString();
        const QByteArray& bytes = std::get<std::unique_ptr<MemoryStream>>(e.Data(0))->bytes();
        QString hex = QString::fromLatin1(bytes.left(32).toHex(' '));
        return bytes.size() > 32 ? hex + QStringLiteral(" … (%1 bytes)").arg(bytes.size()) : hex;
    }
    QStringList parts;
    for (int i = 0; i < e.DataCount() && i < 16; ++i) {
        const QJsonValue v = blockJson(e.Data(i));
        parts << (v.isArray() ? QStringLiteral("%1/%2").arg(v[0].toInteger()).arg(v[1].toInteger())
                              : QString::number(v.toDouble(), 'g', 10));
    }
    if (e.DataCount() > 16) parts << QStringLiteral("… (%1 values)").arg(e.DataCount());
    return parts.join(' ');
}

void listEntries(QString& out, const char* title, const TEntryItems& items) {
    out += QStringLiteral("[%1] %2 entries\n").arg(QLatin1String(title)).arg(items.Count());
    for (int i = 0; i < items.Count(); ++i) {
        const TEntryItem& e = *items[i];
        out += QStringLiteral("  %1 %2 (0x%3) %4 x%5%6: %7\n")
                   .arg(QLatin1String(ifdName(e.IFDNumber())), -16)
                   .arg(e.Tag(), 5)
                   .arg(e.Tag(), 4, 16, QChar('0'))
                   .arg(typeName(e.Format()))
                   .arg(e.ExifDataCount())
                   .arg(e.Offset() ? QStringLiteral(" @%1").arg(e.Offset()) : QString())
                   .arg(valueText(e));
    }
}

// The typed properties with their display texts, for the tags the file has.
void listProperties(QString& out, TExifInfo& i) {
    const auto line = [&out](const char* name, const QString& value) {
        out += QStringLiteral("  %1: %2\n").arg(QLatin1String(name), value);
    };
    out += QStringLiteral("[properties]\n");
    if (i.TagExists(271, eiTIFF)) line("Make", i.Make());
    if (i.TagExists(kTagModel, eiTIFF)) line("Model", i.Model());
    if (i.TagExists(274, eiTIFF)) line("Orientation", QString::number(i.Orientation()));
    if (i.TagExists(296, eiTIFF)) line("ResolutionUnitText", i.ResolutionUnitText());
    if (i.TagExists(306, eiTIFF)) line("DateTimeText", i.DateTimeText());
    if (i.TagExists(36867, eiExif)) line("DateTimeOriginalText", i.DateTimeOriginalText());
    if (i.TagExists(33434, eiExif)) line("ExposureTime", i.ExposureTime()->Text());
    if (i.TagExists(33437, eiExif)) line("FNumber", i.FNumber()->Text());
    if (i.TagExists(34850, eiExif)) line("ExposureProgramText", i.ExposureProgramText());
    if (i.TagExists(34855, eiExif)) {
        QStringList iso;
        for (int k = 0; k < i.ISOSpeedRatingCount(); ++k) iso << QString::number(i.ISOSpeedRatings(k));
        line("ISOSpeedRatings", iso.join(' '));
    }
    if (i.TagExists(36864, eiExif)) line("ExifVersion", i.ExifVersion());
    if (i.TagExists(37121, eiExif)) line("ComponentsConfigurationText", '"' + i.ComponentsConfigurationText() + '"');
    if (i.TagExists(37383, eiExif)) line("MeteringModeText", i.MeteringModeText());
    if (i.TagExists(37384, eiExif)) line("LightSourceText", i.LightSourceText());
    if (i.TagExists(37385, eiExif)) line("Flash", i.Flash() ? QStringLiteral("true") : QStringLiteral("false"));
    if (i.TagExists(37386, eiExif)) line("FocalLength", i.FocalLength()->Text());
    if (i.TagExists(37510, eiExif)) {
        static const char* const kStyles[] = {"ucAscii", "ucJIS", "ucUnicode", "ucUndefined", "ucUnknown"};
        QString comment = i.UserComment();
        comment.replace(QChar(0), QString());
        line("UserComment", QStringLiteral("%1 \"%2\"").arg(QLatin1String(kStyles[i.UserCommentStyle()]), comment));
    }
    if (i.TagExists(40961, eiExif)) line("ColorSpaceText", i.ColorSpaceText());
    if (i.TagExists(40962, eiExif)) line("PixelXDimension", QString::number(i.PixelXDimension()));
    if (i.TagExists(40963, eiExif)) line("PixelYDimension", QString::number(i.PixelYDimension()));
    if (i.TagExists(41488, eiExif)) line("FocalPlaneResolutionUnitText", i.FocalPlaneResolutionUnitText());
    if (i.TagExists(41495, eiExif)) line("SensingMethodText", i.SensingMethodText());
    if (i.ThmTagExists(kTagCompression, eiTIFF)) line("ThmCompressionText", i.ThmCompressionText());
}

QString listing(const QString& path, Reading& r) {
    QString out = QStringLiteral("== %1 ==\n").arg(path);
    const QJsonValue order = byteOrderJson(r.info);
    out += QStringLiteral("JPEG %1 x %2, APP1 at %3, byte order %4\n")
               .arg(r.info.JpegWidth())
               .arg(r.info.JpegHeight())
               .arg(r.info.App1Position())
               .arg(order.isNull() ? QStringLiteral("-") : order.toString());
    if (!r.failure.isEmpty()) out += QStringLiteral("failure: %1\n").arg(r.failure);
    for (int code : r.errors) out += QStringLiteral("error %1: %2\n").arg(code).arg(ExifErrorText(code));
    listEntries(out, "main", r.info.Entrys());
    listEntries(out, "thumbnail", r.info.ThmEntrys());
    listProperties(out, r.info);
    return out;
}

void write(FILE* to, const QString& text) {
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), to);
}

}  // namespace

int runExif(int argc, char** argv) {
    QStringList args;
    for (int k = 0; k < argc; ++k) args << QString::fromLocal8Bit(argv[k]);

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Prints the EXIF entries of JPEG files as the reader sees them."));
    const QCommandLineOption helpOption({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Show this help."));
    const QCommandLineOption jsonOption(QStringLiteral("json"), QStringLiteral("One JSON object per file (an array for several)."));
    parser.addOption(helpOption);
    parser.addOption(jsonOption);
    parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("JPEG files to read."), QStringLiteral("FILE..."));
    if (!parser.parse(args)) {
        write(stderr, QStringLiteral("nocturo-cli exif: %1\n").arg(parser.errorText()));
        return 2;
    }
    if (parser.isSet(helpOption)) {
        // Qt's first line names the executable; ours names the sub-command.
        QString help = parser.helpText();
        help = QStringLiteral("Usage: nocturo-cli exif [--json] FILE...") + help.mid(help.indexOf(u'\n'));
        write(stdout, help.endsWith(u'\n') ? help : help + u'\n');
        return 0;
    }
    const QStringList files = parser.positionalArguments();
    if (files.isEmpty()) {
        write(stderr, QStringLiteral("nocturo-cli exif: no FILE given (see --help)\n"));
        return 2;
    }

    int status = 0;
    QJsonArray objects;
    for (const QString& path : files) {
        const std::unique_ptr<Reading> r = readFile(path);
        if (!r->failure.isEmpty()) status = 1;
        if (parser.isSet(jsonOption))
            objects.append(exifFileObject(path, *r));
        else
            write(stdout, listing(path, *r) + (path == files.back() ? QString() : QStringLiteral("\n")));
    }
    if (parser.isSet(jsonOption)) {
        const QJsonDocument doc = objects.size() == 1 ? QJsonDocument(objects[0].toObject()) : QJsonDocument(objects);
        write(stdout, QString::fromUtf8(doc.toJson(QJsonDocument::Indented)));
    }
    return status;
}
