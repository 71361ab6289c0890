// drawassets OUTDIR: draws the application icon (EtiquetaVolume.ico, EtiquetaVolume.png) and the label preview's
// barcode picture (barcode.jpg). Everything is drawn here, so a rerun gives the same files.

#include <QBuffer>
#include <QByteArray>
#include <QColor>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>
#include <QPolygonF>
#include <QRect>
#include <QSize>
#include <QTextStream>
#include <array>
#include <string_view>
#include <vector>

namespace {

// Code 128 element widths in modules, bar first, by symbol value; 106 is the stop with its closing bar.
constexpr std::array<std::string_view, 107> code128
    = { "212222", "222122", "222221", "121223", "121322", "131222", "122213", "122312", "132212", "221213", "221312",
          "231212", "112232", "122132", "122231", "113222", "123122", "123221", "223211", "221132", "221231", "213212",
          "223112", "312131", "311222", "321122", "321221", "312212", "322112", "322211", "212123", "212321", "232121",
          "111323", "131123", "131321", "112313", "132113", "132311", "211313", "231113", "231311", "112133", "112331",
          "132131", "113123", "113321", "133121", "313121", "211331", "231131", "213113", "213311", "213131", "311123",
          "311321", "331121", "312113", "312311", "332111", "314111", "221411", "431111", "111224", "111422", "121124",
          "121421", "141122", "141221", "112214", "112412", "122114", "122411", "142112", "142211", "241211", "221114",
          "413111", "241112", "134111", "111242", "121142", "121241", "114212", "124112", "124211", "411212", "421112",
          "421211", "212141", "214121", "412121", "111143", "111341", "131141", "114113", "114311", "411113", "411311",
          "113141", "114131", "311141", "411131", "211412", "211214", "211232", "2331112" };

constexpr bool code128Consistent()
{
    for (std::size_t value = 0; value < code128.size(); ++value) {
        int modules = 0;
        for (char width : code128[value])
            modules += width - '0';
        if (modules != (value == 106 ? 13 : 11))
            return false;
    }
    return true;
}
static_assert(code128Consistent());

constexpr int startC = 105;
constexpr int stop = 106;

// Element widths (bar, space, bar, ...) of an even-length digit string in code set C.
std::vector<int> code128C(std::string_view digits)
{
    std::vector<int> values { startC };
    for (std::size_t i = 0; i + 1 < digits.size(); i += 2)
        values.push_back((digits[i] - '0') * 10 + (digits[i + 1] - '0'));
    int checksum = startC;
    for (std::size_t i = 1; i < values.size(); ++i)
        checksum += static_cast<int>(i) * values[i];
    values.push_back(checksum % 103);
    values.push_back(stop);

    std::vector<int> elements;
    for (int value : values) {
        for (char width : code128[value])
            elements.push_back(width - '0');
    }
    return elements;
}

int moduleCount(const std::vector<int> &elements)
{
    int modules = 0;
    for (int width : elements)
        modules += width;
    return modules;
}

// Bars at whole pixels so they stay sharp: module pixels wide, starting at left.
void drawBars(
    QPainter &painter, const std::vector<int> &elements, int left, int top, int height, int module, const QColor &ink)
{
    int x = left;
    bool bar = true;
    for (int width : elements) {
        if (bar)
            painter.fillRect(QRect(x, top, width * module, height), ink);
        x += width * module;
        bar = !bar;
    }
}

// The elements that fit in the given modules, ending on a bar; the icon only needs a barcode's look.
std::vector<int> fitBars(const std::vector<int> &elements, int modules)
{
    std::vector<int> fitted;
    int used = 0;
    for (std::size_t i = 0; i < elements.size(); i += 2) {
        const int gap = i == 0 ? 0 : elements[i - 1];
        if (used + gap + elements[i] > modules)
            break;
        if (i > 0)
            fitted.push_back(gap);
        fitted.push_back(elements[i]);
        used += gap + elements[i];
    }
    return fitted;
}

const QColor labelYellow(0xFF, 0xD8, 0x00);
const QColor ink(0x1A, 0x1A, 0x1A);
const QColor kraft(0xC8, 0x8A, 0x4A);
const QColor kraftLight(0xDD, 0xA8, 0x6A);
const QColor kraftDark(0x6E, 0x43, 0x1C);
const QColor tape(0xA8, 0x70, 0x38);

// A parcel seen slightly from above with a yellow shipping label on its front. Laid out on a 48-unit grid and
// rounded to whole pixels so the 16-pixel picture keeps its edges.
QImage drawIcon(QSize size)
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);

    const int side = qMin(size.width(), size.height());
    const int originX = (size.width() - side) / 2;
    const int originY = (size.height() - side) / 2;
    const double unit = side / 48.0;
    const auto px = [unit](double units) { return static_cast<int>(units * unit + 0.5); };
    const auto at = [&](double x, double y) { return QPointF(originX + px(x), originY + px(y)); };
    const int line = qMax(1, px(1.25));

    // Box front and lid; outlines are the darker fill showing around an inset face.
    const QRect front(at(3, 16).toPoint(), at(45, 45).toPoint() - QPoint(1, 1));
    const QPolygonF lid({ at(3, 16), at(11, 5), at(37, 5), at(45, 16) });
    painter.setPen(Qt::NoPen);
    painter.setBrush(kraftDark);
    painter.drawPolygon(lid);
    painter.drawRect(front);
    const double inset = line;
    const QPolygonF lidFace({ at(3, 16) + QPointF(inset * 1.6, -inset * 0.5), at(11, 5) + QPointF(inset * 0.8, inset),
        at(37, 5) + QPointF(-inset * 0.8, inset), at(45, 16) + QPointF(-inset * 1.6, -inset * 0.5) });
    painter.setBrush(kraftLight);
    painter.drawPolygon(lidFace);
    painter.fillRect(front.adjusted(line, line, -line, -line), kraft);

    // Packing tape across the lid and down the front.
    if (side >= 24) {
        const QPolygonF tapeOnLid({ at(21, 5), at(27, 5), at(27.5, 16), at(20.5, 16) });
        painter.setBrush(tape);
        painter.drawPolygon(tapeOnLid);
        painter.fillRect(QRect(at(20.5, 16).toPoint() + QPoint(0, line), at(27.5, 21).toPoint()), tape);
    }

    // The label: black rim, yellow face, address lines and the barcode.
    const QRect label(at(6, 19).toPoint(), at(42, 43).toPoint() - QPoint(1, 1));
    const double radius = qMax(1.0, 1.5 * unit);
    painter.setBrush(ink);
    painter.drawRoundedRect(QRectF(label).adjusted(0, 0, 1, 1), radius, radius);
    painter.setBrush(labelYellow);
    painter.drawRoundedRect(
        QRectF(label).adjusted(line, line, 1 - line, 1 - line), qMax(0.5, radius - line), qMax(0.5, radius - line));

    const int margin = line + qMax(1, px(2));
    const int barsLeft = label.left() + margin;
    const int barsWidth = label.width() - 2 * margin;
    int barsTop = label.top() + margin;
    // Lines of address text, as many as the size has room for.
    const int textLines = side >= 32 ? 2 : side >= 24 ? 1 : 0;
    const int textHeight = qMax(1, px(1.5));
    for (int i = 0; i < textLines; ++i) {
        painter.fillRect(QRect(barsLeft, barsTop, barsWidth * (3 - i) / 5, textHeight), ink);
        barsTop += textHeight + qMax(1, px(i + 1 < textLines ? 1.5 : 2));
    }
    const int barsHeight = label.bottom() - margin + 1 - barsTop;

    // Whole-symbol widths turn to blocks on a few pixels, so the smaller pictures get a pattern of mostly thin bars.
    static const std::vector<int> thinBars { 1, 1, 2, 1, 1, 1, 1, 1, 2, 1, 1, 2, 1, 1, 1, 1, 2, 1, 1, 1, 1, 2, 2, 1, 1,
        1, 1, 2, 1, 1, 2, 1, 1, 1, 1 };
    const int module = qMax(1, barsWidth / 60);
    const std::vector<int> bars = fitBars(side >= 100 ? code128C("40217306") : thinBars, barsWidth / module);
    const int left = barsLeft + (barsWidth - moduleCount(bars) * module) / 2;
    painter.setRenderHint(QPainter::Antialiasing, false);
    drawBars(painter, bars, left, barsTop, barsHeight, module, ink);
    painter.end();
    return image.convertToFormat(QImage::Format_ARGB32);
}

// The preview panel's barcode: black on the panel's pure yellow, the full symbol with its quiet zones.
QImage drawBarcode()
{
    const QSize size(183, 29);
    QImage image(size, QImage::Format_RGB32);
    image.fill(QColor(0xFF, 0xFF, 0x00));
    const std::vector<int> elements = code128C("40217306");
    constexpr int module = 2;
    QPainter painter(&image);
    drawBars(
        painter, elements, (size.width() - moduleCount(elements) * module) / 2, 0, size.height(), module, Qt::black);
    painter.end();
    return image;
}

QByteArray png(const QImage &image)
{
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return data;
}

// ICONDIR, one ICONDIRENTRY per picture, then each picture as PNG (read by Windows Vista and later and by Qt).
QByteArray ico(const std::vector<QImage> &images)
{
    std::vector<QByteArray> pictures;
    for (const QImage &image : images)
        pictures.push_back(png(image));

    QByteArray data;
    QDataStream out(&data, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    out << quint16(0) << quint16(1) << quint16(images.size());
    quint32 offset = 6 + 16 * static_cast<quint32>(images.size());
    for (std::size_t i = 0; i < images.size(); ++i) {
        // A byte of 0 would mean 256; every size here is smaller.
        out << quint8(images[i].width()) << quint8(images[i].height()) << quint8(0) << quint8(0);
        out << quint16(1) << quint16(32) << quint32(pictures[i].size()) << offset;
        offset += static_cast<quint32>(pictures[i].size());
    }
    for (const QByteArray &picture : pictures)
        out.writeRawData(picture.constData(), static_cast<int>(picture.size()));
    return data;
}

bool writeFile(const QString &path, const QByteArray &data)
{
    QFile file(path);
    return !data.isEmpty() && file.open(QIODevice::WriteOnly) && file.write(data) == data.size() && file.flush();
}

// Qt's own reader must see every picture, or the window would show none.
bool icoReadsBack(const QString &path, const std::vector<QSize> &sizes)
{
    QImageReader reader(path, "ico");
    if (reader.imageCount() != static_cast<int>(sizes.size()))
        return false;
    for (int i = 0; i < reader.imageCount(); ++i) {
        if (!reader.jumpToImage(i))
            return false;
        const QImage image = reader.read();
        if (image.size() != sizes[i] || !image.hasAlphaChannel())
            return false;
    }
    return true;
}

}

int main(int argc, char *argv[])
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    QTextStream err(stderr);
    const QStringList arguments = application.arguments();
    if (arguments.size() != 2) {
        err << "usage: drawassets OUTDIR\n";
        return 2;
    }
    const QDir outDir(arguments.at(1));
    if (!outDir.exists() && !QDir().mkpath(outDir.path())) {
        err << "drawassets: cannot create " << outDir.path() << "\n";
        return 1;
    }

    const std::vector<QSize> sizes { { 16, 16 }, { 24, 24 }, { 32, 32 }, { 48, 48 }, { 224, 216 } };
    std::vector<QImage> icons;
    for (QSize size : sizes)
        icons.push_back(drawIcon(size));

    const QString icoPath = outDir.filePath(QStringLiteral("EtiquetaVolume.ico"));
    const QString pngPath = outDir.filePath(QStringLiteral("EtiquetaVolume.png"));
    const QString barcodePath = outDir.filePath(QStringLiteral("barcode.jpg"));

    if (!writeFile(icoPath, ico(icons))) {
        err << "drawassets: cannot write " << icoPath << "\n";
        return 1;
    }
    if (!icoReadsBack(icoPath, sizes)) {
        err << "drawassets: Qt does not read back the five pictures of " << icoPath << "\n";
        return 1;
    }
    // The 48x48 picture: the window icon, crisp at the sizes title bars and task bars use.
    if (!writeFile(pngPath, png(icons[3]))) {
        err << "drawassets: cannot write " << pngPath << "\n";
        return 1;
    }
    QImageWriter jpeg(barcodePath, "jpeg");
    jpeg.setQuality(95);
    if (!jpeg.write(drawBarcode())) {
        err << "drawassets: cannot write " << barcodePath << ": " << jpeg.errorString() << "\n";
        return 1;
    }
    return 0;
}
