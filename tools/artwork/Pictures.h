// The skin's pictures, drawn with QPainter so that they can be made again at any time.
#pragma once

#include <QImage>
#include <QList>

struct Picture
{
    unsigned id;
    QImage image;  // Format_ARGB32 for pictures with alpha, Format_RGB32 for opaque ones
};

// Every "PNG" picture of the skin, in ID order.
QList<Picture> DrawPngPictures();

QImage DrawBackground();           // bitmap 130, 479 x 383
QImage DrawAppIcon(int size);      // icon 128
QList<QImage> DrawBannerSlides();  // GIF 170, four slides of 479 x 236
