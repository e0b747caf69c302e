#include "ResourceImages.h"

#include <QPainter>
#include <QString>
#include <map>
#include <memory>
#include <mutex>
#include <utility>

QImage* LoadPngResourceImage(unsigned id)
{
    auto* image = new QImage;
    if (!image->load(QStringLiteral(":/PNG/%1").arg(id), "PNG"))
        return image;  // missing or undecodable: a null image, nothing to draw
    if (image->hasAlphaChannel()) {
        // Decode to straight alpha first so that our own truncating premultiplication is the
        // only one the pixels ever get.
        *image = image->convertToFormat(QImage::Format_ARGB32);
        PremultiplyAlpha(*image);
    }
    return image;
}

void PremultiplyAlpha(QImage& image)
{
    // Only straight 32-bit alpha; an image already marked premultiplied is never done twice.
    if (image.format() != QImage::Format_ARGB32)
        return;
    for (int y = 0; y < image.height(); ++y) {
        // scanLine detaches a shared image, so other copies keep their pixels.
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = line[x];
            const unsigned a = unsigned(qAlpha(p));
            line[x] = qRgba(int(unsigned(qRed(p)) * a / 255), int(unsigned(qGreen(p)) * a / 255),
                            int(unsigned(qBlue(p)) * a / 255), int(a));
        }
    }
    image.reinterpretAsFormat(QImage::Format_ARGB32_Premultiplied);
}

const QImage* LoadResourceImageGdiplus(const char* type, unsigned id)
{
    // Decoded pictures live as long as the process: the compiled-in resources never change,
    // and a paint handler must not decode again.
    static std::mutex mutex;
    static std::map<std::pair<QString, unsigned>, std::unique_ptr<const QImage>> cache;

    if (type == nullptr)
        return nullptr;
    const unsigned number = id & 0xFFFFu;
    const QString typeName = QString::fromLatin1(type);
    std::lock_guard<std::mutex> lock(mutex);
    auto found = cache.find({typeName, number});
    if (found != cache.end())
        return found->second.get();

    QImage decoded(QStringLiteral(":/%1/%2").arg(typeName).arg(number));
    if (decoded.isNull())
        return nullptr;  // not cached: nothing was decoded
    // Qt's own conversion blends like straight alpha does and spares a conversion per paint.
    if (decoded.hasAlphaChannel())
        decoded = decoded.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    auto inserted = cache.emplace(std::make_pair(typeName, number),
                                  std::make_unique<const QImage>(std::move(decoded)));
    return inserted.first->second.get();
}

bool DrawResourceImage(QPainter* painter, const char* type, unsigned id, const QRect& rect)
{
    const QImage* image = LoadResourceImageGdiplus(type, id);
    if (image == nullptr)
        return false;
    if (painter != nullptr && rect.width() > 0) {
        // 1:1, never scaled: the part of the picture under the rectangle's horizontal extent, at
        // the picture's own height from rect.top; rect.bottom plays no part.
        const QRect area(rect.left(), rect.top(), rect.width(), image->height());
        painter->drawImage(area, *image, area);
    }
    return true;
}
