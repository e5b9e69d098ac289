#include "testpictures.h"

#include <QBuffer>
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
