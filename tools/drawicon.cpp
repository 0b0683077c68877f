// trilette-drawicon: paints Trilette's icon, a small Petri net (a marked place, a transition and
// an empty place, joined by arcs), and writes trilette.png (256 px) and trilette.ico (256, 128,
// 48, 32 and 24 px) into the folder given. Run by hand when the drawing changes:
//   cmake --build build --target trilette-drawicon && build/bin/trilette-drawicon app

#include <QBuffer>
#include <QByteArray>
#include <QDataStream>
#include <QFile>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QVector>

#include <cstdio>

namespace {

/// The icon at `size` pixels, drawn on a 256-unit grid.
QImage drawIcon(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 256.0, size / 256.0);

    QLinearGradient background(0, 0, 0, 256);
    background.setColorAt(0, QColor(0x2f, 0x6f, 0xb8));
    background.setColorAt(1, QColor(0x1b, 0x3f, 0x75));
    painter.setPen(Qt::NoPen);
    painter.setBrush(background);
    painter.drawRoundedRect(QRectF(8, 8, 240, 240), 44, 44);

    const QColor white(0xff, 0xff, 0xff);
    const QColor amber(0xff, 0xb3, 0x2e);
    const qreal stroke = 12;

    // Arcs: place to transition to place, each ending in an arrowhead.
    painter.setPen(QPen(white, stroke, Qt::SolidLine, Qt::FlatCap));
    painter.drawLine(QPointF(86, 128), QPointF(100, 128));
    painter.drawLine(QPointF(136, 128), QPointF(150, 128));
    painter.setPen(Qt::NoPen);
    painter.setBrush(white);
    for (qreal tip : {116.0, 166.0}) {
        QPainterPath head;
        head.moveTo(tip, 128);
        head.lineTo(tip - 18, 128 - 15);
        head.lineTo(tip - 18, 128 + 15);
        head.closeSubpath();
        painter.drawPath(head);
    }

    // Places: two rings, the first holding a token.
    painter.setPen(QPen(white, stroke));
    painter.setBrush(QColor(0x14, 0x30, 0x5c));
    painter.drawEllipse(QPointF(58, 128), 24, 24);
    painter.drawEllipse(QPointF(198, 128), 24, 24);
    painter.setPen(Qt::NoPen);
    painter.setBrush(amber);
    painter.drawEllipse(QPointF(58, 128), 11, 11);

    // Transition: an upright bar.
    painter.drawRoundedRect(QRectF(118, 70, 20, 116), 4, 4);
    return image;
}

QByteArray pngBytes(const QImage &image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

/// A 32-bit DIB as an icon entry holds it: the header with a doubled height, the BGRA rows
/// bottom up, then an all-clear AND mask (the alpha channel does the masking).
QByteArray dibBytes(const QImage &source)
{
    const QImage image = source.convertToFormat(QImage::Format_ARGB32);
    const int size = image.width();
    const int maskStride = ((size + 31) / 32) * 4;
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    out << quint32(40) << qint32(size) << qint32(2 * size) << quint16(1) << quint16(32)
        << quint32(0) << quint32(size * size * 4 + maskStride * size) << qint32(0) << qint32(0)
        << quint32(0) << quint32(0);
    for (int y = size - 1; y >= 0; --y) {
        const auto *row = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < size; ++x)
            out << quint8(qBlue(row[x])) << quint8(qGreen(row[x])) << quint8(qRed(row[x]))
                << quint8(qAlpha(row[x]));
    }
    for (int i = 0; i < maskStride * size; ++i)
        out << quint8(0);
    return bytes;
}

/// An ICO file: the 256 px image as PNG (as Windows expects at that size), the others as DIBs.
QByteArray icoBytes(const QVector<int> &sizes)
{
    QVector<QByteArray> images;
    for (int size : sizes)
        images.append(size >= 256 ? pngBytes(drawIcon(size)) : dibBytes(drawIcon(size)));

    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    out << quint16(0) << quint16(1) << quint16(sizes.size());
    quint32 offset = 6 + 16 * sizes.size();
    for (int i = 0; i < sizes.size(); ++i) {
        const quint8 side = sizes[i] >= 256 ? 0 : quint8(sizes[i]);
        out << side << side << quint8(0) << quint8(0) << quint16(1) << quint16(32)
            << quint32(images[i].size()) << offset;
        offset += images[i].size();
    }
    for (const QByteArray &image : images)
        out.writeRawData(image.constData(), image.size());
    return bytes;
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.flush();
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc != 2) {
        std::fputs("Usage : trilette-drawicon DOSSIER\n", stderr);
        return 2;
    }
    const QString folder = QFile::decodeName(argv[1]);
    if (!writeFile(folder + QLatin1String("/trilette.png"), pngBytes(drawIcon(256)))
        || !writeFile(folder + QLatin1String("/trilette.ico"), icoBytes({256, 128, 48, 32, 24}))) {
        std::fprintf(stderr, "trilette-drawicon: impossible d'ecrire dans %s\n", argv[1]);
        return 1;
    }
    return 0;
}
