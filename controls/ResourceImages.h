// Turning the compiled-in pictures into drawable images.
#pragma once

#include <QImage>
#include <QRect>

class QPainter;

// A new image decoded from :/PNG/<id>, premultiplied (Format_ARGB32_Premultiplied) when it has
// alpha; a null (0 x 0) image when the resource is missing or cannot be decoded. Caller owns it.
QImage* LoadPngResourceImage(unsigned id);

// Multiplies blue, green and red by alpha / 255 (truncating) in every pixel of a straight-alpha
// 32-bit image (Format_ARGB32), which then is Format_ARGB32_Premultiplied; other formats, an
// already premultiplied image among them, are left alone.
void PremultiplyAlpha(QImage& image);

// The decoded picture of resource `type`/`id` (only the low 16 bits of id count), decoded once
// and kept for the process's life (not owned by the caller); nullptr when it does not exist.
const QImage* LoadResourceImageGdiplus(const char* type, unsigned id);

// Draws resource `type`/`id` 1:1 at (rect.left, rect.top), rect.width() wide, at the image's own
// height; false when the resource is missing. `painter` may be null (then nothing is drawn).
bool DrawResourceImage(QPainter* painter, const char* type, unsigned id, const QRect& rect);
