#include "testpictures.h"

#include <QBuffer>
#include <QHash>
#include <QImage>

QByteArray imageBytes(const QImage &image, const char *format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

QByteArray pngBytes(int w, int h, unsigned rgb)
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(rgb);
    return imageBytes(image);
}

bool writePicture(const QString &path, int w, int h, unsigned rgb)
{
    return writeFile(path, pngBytes(w, h, rgb));
}

namespace {

quint32 crc32(const QByteArray &bytes)
{
    quint32 crc = 0xffffffff;
    for (const char c : bytes) {
        crc ^= quint8(c);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xedb88320 & (0 - (crc & 1)));
    }
    return ~crc;
}

} // namespace

QByteArray declaringBytes(const char *format, int w, int h)
{
    const QByteArray kind(format);
    // A GIF of one pixel, which Qt does not write.
    QByteArray bytes = kind == "GIF"
        ? QByteArray("GIF89a\1\0\1\0\x80\0\0\0\0\0\xff\xff\xff,\0\0\0\0\1\0\1\0\0\2\2D\1\0;", 35)
        : imageBytes(QImage(8, 8, QImage::Format_RGB32), format);
    const auto put = [&bytes](int at, quint32 value, int size, bool bigEndian) {
        for (int i = 0; i < size; ++i)
            bytes[at + i] = char(value >> (8 * (bigEndian ? size - 1 - i : i)));
    };
    const int frame = bytes.indexOf("\xff\xc0"); // a JPEG's size
    const QMultiHash<QByteArray, QList<int>> places{{"GIF", {6, 8, 2, 0}},
                                                    {"GIF", {24, 26, 2, 0}},
                                                    {"PNG", {16, 20, 4, 1}},
                                                    {"JPEG", {frame + 7, frame + 5, 2, 1}},
                                                    {"BMP", {18, 22, 4, 0}}};
    for (const QList<int> &at : places.values(kind)) {
        put(at[0], quint32(w), at[2], at[3]);
        put(at[1], quint32(h), at[2], at[3]);
    }
    if (kind == "PNG")
        put(29, crc32(bytes.mid(12, 17)), 4, true);
    return bytes;
}
