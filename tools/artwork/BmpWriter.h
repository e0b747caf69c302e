// Writes a 32-bit uncompressed Windows bitmap whose fourth byte in every pixel is 0, the layout
// the installer window's background has always had. Qt's writer emits 24-bit files only.
#pragma once

#include <QByteArray>
#include <QImage>

QByteArray EncodeBmp32ZeroAlpha(const QImage& image);
