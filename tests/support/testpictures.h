#ifndef TESTPICTURES_H
#define TESTPICTURES_H

// Pictures for the GUI's tests; saving them needs Qt Gui, which the core's
// tests do not link.

#include "tests/support/testsupport.h"

#include <QByteArray>
#include <QString>

class QImage;

// `image` saved in `format`; a small PNG of one colour, as bytes or written to `path`.
QByteArray imageBytes(const QImage &image, const char *format = "PNG");
QByteArray pngBytes(int w, int h, unsigned rgb = 0x3080ff);
bool writePicture(const QString &path, int w, int h, unsigned rgb = 0xff8000);
// A small picture in `format` (PNG, JPEG, GIF, BMP) whose header declares
// w x h pixels: what a picture bomb looks like before it is decoded.
QByteArray declaringBytes(const char *format, int w, int h);

#endif // TESTPICTURES_H
