// Feeds arbitrary bytes to the GIF frame walker the way the banner loads a picture: count the
// graphic blocks, then cut each one out. Any read past the data is caught by ASan; the checks
// below catch streams that do not have the described shape.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "GifFrameWalker.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    GifFrameWalker walker;
    if (!walker.Begin(data, size))
        return 0;
    std::size_t blocks = 0;
    std::uint32_t last = walker.Cursor();
    while (walker.SkipGraphicBlock()) {
        if (walker.Cursor() <= last || walker.Cursor() > size)
            std::abort();  // the cursor only moves forward, inside the data
        last = walker.Cursor();
        ++blocks;
    }
    walker.Rewind();
    const std::size_t head = walker.ColorTableBytes() + 13;
    std::size_t frames = 0;
    while (auto frame = walker.ExtractGraphicBlock()) {
        const auto& stream = frame->stream;
        if (stream.size() <= head + 1 || stream.size() > size + 1 || stream.back() != 0x3B ||
            std::memcmp(stream.data(), data, head) != 0 || frame->disposal > 7)
            std::abort();
        ++frames;
    }
    if (frames != blocks)
        std::abort();  // counting and cutting must agree on where the frames end
    return 0;
}
