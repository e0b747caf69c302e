// What one paint of the progress bar costs: its two pictures drawn with DrawResourceImage (decoded
// once and kept) against decoding both PNGs anew on every paint, as the bar once did.
#include <QImage>
#include <QPainter>
#include <QString>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "ResourceIds.h"
#include "ResourceImages.h"

namespace {

using Clock = std::chrono::steady_clock;

const QRect kClient(0, 0, 410, 10);
const QRect kFilled(0, 0, 205, 10);  // the bar at 50 %

void PaintKept(QPainter& p)
{
    DrawResourceImage(&p, "PNG", res::IDP_PROGRESS_TRACK, kClient);
    DrawResourceImage(&p, "PNG", res::IDP_PROGRESS_BAR, kFilled);
}

void PaintDecodingEachTime(QPainter& p)
{
    for (const auto& [id, rect] :
         {std::pair{res::IDP_PROGRESS_TRACK, kClient}, std::pair{res::IDP_PROGRESS_BAR, kFilled}}) {
        const QImage image(QStringLiteral(":/PNG/%1").arg(id));
        const QRect area(rect.left(), rect.top(), rect.width(), image.height());
        p.drawImage(area, image, area);
    }
}

// Median over several rounds of the mean time per paint, in microseconds.
template <typename Paint>
double MicrosecondsPerPaint(Paint paint, int iterations)
{
    QImage target(kClient.size(), QImage::Format_ARGB32_Premultiplied);
    std::vector<double> rounds;
    for (int round = 0; round < 7; ++round) {
        target.fill(Qt::white);
        QPainter p(&target);
        const auto start = Clock::now();
        for (int i = 0; i < iterations; ++i)
            paint(p);
        const std::chrono::duration<double, std::micro> spent = Clock::now() - start;
        rounds.push_back(spent.count() / iterations);
        p.end();
        if (target.pixel(100, 4) == qRgb(255, 255, 255))
            std::fprintf(stderr, "warning: nothing was painted\n");
    }
    std::sort(rounds.begin(), rounds.end());
    return rounds[rounds.size() / 2];
}

}  // namespace

int main(int argc, char** argv)
{
    const int iterations = argc > 1 ? std::max(1, std::atoi(argv[1])) : 2000;
    // Warm up both paths (the kept images are decoded here, once).
    MicrosecondsPerPaint(PaintKept, 10);
    MicrosecondsPerPaint(PaintDecodingEachTime, 10);
    const double kept = MicrosecondsPerPaint(PaintKept, iterations);
    const double decoding = MicrosecondsPerPaint(PaintDecodingEachTime, iterations);
    std::printf("progress bar paint (track 410 px + bar 205 px), %d paints x 7 rounds, median:\n",
                iterations);
    std::printf("  kept decoded images (DrawResourceImage): %8.2f us per paint\n", kept);
    std::printf("  decoding both PNGs on every paint:       %8.2f us per paint\n", decoding);
    std::printf("  ratio: %.1fx\n", decoding / kept);
    return 0;
}
