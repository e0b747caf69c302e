// Writes an animated GIF89a: one 256-colour global table shared by every slide, each slide a
// full-size image preceded by its own graphic control extension.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QRgb>

struct GifSlides
{
    QList<QImage> slides;  // all of the same size
    int delay = 300;       // hundredths of a second, for every slide
    int disposal = 1;      // leave the slide in place
};

// A palette of exactly 256 colours chosen for all slides together (median cut).
QList<QRgb> BuildSharedPalette(const QList<QImage>& slides);

// The slide mapped onto `palette`, with Floyd-Steinberg error diffusion for smooth gradients.
QByteArray MapToPalette(const QImage& slide, const QList<QRgb>& palette);

// The GIF's LZW-compressed image data: minimum code size byte, sub-blocks, terminator.
QByteArray LzwCompress(const QByteArray& indices, int minCodeSize = 8);

struct EncodedGif
{
    QByteArray bytes;           // the whole file; empty when the slides are unusable
    QList<QRgb> palette;        // the global colour table
    QList<QByteArray> indexed;  // each slide as palette indices, row by row
};

// The whole file. Fails (empty bytes) when the slides are empty or not of one size.
EncodedGif EncodeGif(const GifSlides& gif);
