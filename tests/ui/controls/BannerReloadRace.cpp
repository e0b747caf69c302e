// Loading, stopping and copying the banner while its thread animates, driven straight from main.
// The ThreadSanitizer build ignores races whose stacks pass through Qt's own libraries, and every
// Qt Test slot is called through them; called from here, the GUI thread's side of each access to
// the banner's state is ours alone, so a missing lock or a non-atomic flag is reported.
#include <QApplication>
#include <chrono>
#include <cstdio>
#include <memory>

#include "CPictureEx.h"
#include "GifTestWriter.h"
#include "ResourceIds.h"

using namespace giftest;

namespace {

int g_failures = 0;

void Check(bool ok, const char* what, int round)
{
    if (!ok) {
        std::fprintf(stderr, "FAIL round %d: %s\n", round, what);
        ++g_failures;
    }
}

// Runs the event loop until the thread has drawn something over the menu-colour fill, or 5 s.
bool WaitForDrawing(CPictureEx& banner, QRgb menu)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() < deadline) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        const QImage surface = banner.SurfaceCopy();
        if (!surface.isNull() && surface.pixel(0, 0) != menu)
            return true;
    }
    return false;
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const std::vector<std::uint32_t> palette = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00};
    const Bytes head = Header(8, 6, palette);
    const Bytes fast =
        Cat({head, Control(2, 5), SolidImage(0, 0, 8, 6, 0), Control(3, 5),
             SolidImage(2, 2, 3, 3, 1), Control(1, 5), SolidImage(0, 0, 4, 4, 2), Trailer()});
    const Bytes slow = Cat({head, Control(1, 300), SolidImage(0, 0, 8, 6, 3), Control(1, 300),
                            SolidImage(0, 0, 8, 6, 1), Trailer()});

    auto banner = std::make_unique<CPictureEx>(res::IDC_BANNER);
    banner->show();
    const QRgb menu = banner->MenuColor().rgb();
    for (int round = 0; round < 12; ++round) {
        const Bytes& gif = round % 2 ? slow : fast;
        Check(banner->LoadFromMemory(gif.data(), gif.size()), "load", round);
        Check(!banner->StartAnimation() && banner->IsAnimating(), "thread started", round);
        Check(WaitForDrawing(*banner, menu), "thread drew a frame", round);
        banner->repaint();  // paints copy the surface while the thread draws on it
        Check(!banner->grab().isNull(), "grab", round);
        if (round % 3 == 2) {
            banner->StopAnimation();  // stop and start again on the same contents
            Check(!banner->IsAnimating(), "stopped", round);
            banner->StartAnimation();
        }
    }
    banner.reset();  // destroyed while animating
    if (g_failures == 0)
        std::printf("banner reload while animating: ok\n");
    return g_failures == 0 ? 0 : 1;
}
