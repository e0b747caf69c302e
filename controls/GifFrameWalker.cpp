#include "GifFrameWalker.h"

#include <cstring>
#include <limits>
#include <new>

namespace {

constexpr std::uint32_t kHeaderBytes = 13;  // signature, version, logical screen descriptor

// Fixed parts of the blocks in front of their sub-block chains, for the standard block-size
// bytes (11, 4, 12); those size bytes themselves are not read.
constexpr std::uint32_t kAppFixed = 14;
constexpr std::uint32_t kCommentFixed = 2;
constexpr std::uint32_t kControlSize = 8;
constexpr std::uint32_t kPlainTextFixed = 15;
constexpr std::uint32_t kImageFixed = 11;

std::uint32_t ColorTableLength(std::uint8_t packed)
{
    return (packed & 0x80) ? 3u * (2u << (packed & 0x07)) : 0u;
}

}  // namespace

bool GifFrameWalker::Begin(const std::uint8_t* data, std::size_t size)
{
    End();
    if (!data || size > std::numeric_limits<std::uint32_t>::max())
        return false;
    m_pData = data;
    m_nDataSize = static_cast<std::uint32_t>(size);
    m_bGif = size >= 3 && std::memcmp(data, "GIF", 3) == 0;
    if (!m_bGif || size < kHeaderBytes) {
        Rewind();
        return false;
    }
    m_nScreenWidth = *WordAt(6);
    m_nScreenHeight = *WordAt(8);
    m_nColorTableBytes = ColorTableLength(data[10]);
    Rewind();
    return true;
}

void GifFrameWalker::End()
{
    *this = GifFrameWalker();
}

std::optional<std::uint8_t> GifFrameWalker::ByteAt(std::uint64_t offset) const
{
    if (!m_pData || offset >= m_nDataSize)
        return std::nullopt;
    return m_pData[offset];
}

std::optional<std::uint16_t> GifFrameWalker::WordAt(std::uint64_t offset) const
{
    auto lo = ByteAt(offset);
    auto hi = ByteAt(offset + 1);
    if (!lo || !hi)
        return std::nullopt;
    return static_cast<std::uint16_t>(*lo | (*hi << 8));
}

GifBlockKind GifFrameWalker::ClassifyBlock() const
{
    auto first = ByteAt(m_nCursor);
    if (!first)
        return GifBlockKind::NoBlock;
    switch (*first) {
        case 0x2C:
            return GifBlockKind::ImageDescriptor;
        case 0x3B:
            return GifBlockKind::Trailer;
        case 0x21:
            break;
        default:
            return GifBlockKind::NoBlock;
    }
    auto label = ByteAt(std::uint64_t(m_nCursor) + 1);
    if (!label)
        return GifBlockKind::NoBlock;
    switch (*label) {
        case 0xFF:
            return GifBlockKind::AppExtension;
        case 0xFE:
            return GifBlockKind::CommentExtension;
        case 0xF9:
            return GifBlockKind::ControlExtension;
        case 0x01:
            return GifBlockKind::PlainTextExtension;
        default:
            return GifBlockKind::NoBlock;
    }
}

std::int64_t GifFrameWalker::SubBlockChainLength(std::uint32_t offset) const
{
    std::uint64_t at = offset;
    std::int64_t sum = 0;
    for (;;) {
        auto length = ByteAt(at);
        if (!length)
            return -1;  // the chain runs past the end without its terminator
        if (*length == 0)
            return sum + 1;
        sum += *length + 1;
        at += *length + 1;
    }
}

std::int64_t GifFrameWalker::CurrentBlockSize() const
{
    const std::uint64_t start = m_nCursor;
    auto withChain = [&](std::uint64_t fixed) -> std::int64_t {
        if (start + fixed > m_nDataSize)
            return -1;
        std::int64_t chain = SubBlockChainLength(static_cast<std::uint32_t>(start + fixed));
        return chain < 0 ? -1 : static_cast<std::int64_t>(fixed) + chain;
    };
    std::int64_t size = -1;
    switch (ClassifyBlock()) {
        case GifBlockKind::NoBlock:
            return -1;
        case GifBlockKind::AppExtension:
            size = withChain(kAppFixed);
            break;
        case GifBlockKind::CommentExtension:
            size = withChain(kCommentFixed);
            break;
        case GifBlockKind::ControlExtension:
            size = kControlSize;
            break;
        case GifBlockKind::PlainTextExtension:
            size = withChain(kPlainTextFixed);
            break;
        case GifBlockKind::ImageDescriptor: {
            auto packed = ByteAt(start + 9);
            if (!packed)
                return -1;
            size = withChain(kImageFixed + ColorTableLength(*packed));
            break;
        }
        case GifBlockKind::Trailer:
            size = 1;
            break;
    }
    if (size < 0 || start + static_cast<std::uint64_t>(size) > m_nDataSize)
        return -1;
    return size;
}

bool GifFrameWalker::SkipBlock()
{
    if (!m_pData)
        return false;
    std::int64_t size = CurrentBlockSize();
    if (size <= 0 || std::uint64_t(m_nCursor) + std::uint64_t(size) > m_nDataSize)
        return false;
    m_nCursor += static_cast<std::uint32_t>(size);
    return true;
}

bool GifFrameWalker::SkipLeadingExtensions()
{
    for (;;) {
        switch (ClassifyBlock()) {
            case GifBlockKind::AppExtension:
            case GifBlockKind::CommentExtension:
                if (!SkipBlock())
                    return false;
                continue;
            case GifBlockKind::NoBlock:
            case GifBlockKind::Trailer:
                return false;
            default:
                return CurrentBlockSize() > 0;
        }
    }
}

bool GifFrameWalker::SkipToGraphicRendering()
{
    if (!SkipBlock())  // the control extension
        return false;
    for (;;) {
        switch (ClassifyBlock()) {
            case GifBlockKind::ImageDescriptor:
            case GifBlockKind::PlainTextExtension:
                return SkipBlock();
            case GifBlockKind::NoBlock:
            case GifBlockKind::Trailer:
                return false;
            default:
                if (!SkipBlock())
                    return false;
        }
    }
}

bool GifFrameWalker::SkipGraphicBlock()
{
    if (!m_pData || !SkipLeadingExtensions())
        return false;
    if (ClassifyBlock() == GifBlockKind::ControlExtension)
        return SkipToGraphicRendering();
    return SkipBlock();  // an image descriptor or a plain-text block
}

std::optional<GifFrameStream> GifFrameWalker::ExtractGraphicBlock()
{
    if (!m_pData || !SkipLeadingExtensions())
        return std::nullopt;
    const std::uint32_t spanStart = m_nCursor;
    GifFrameStream frame;
    if (ClassifyBlock() == GifBlockKind::ControlExtension) {
        // The block fits (SkipLeadingExtensions checked its size), so both fields are inside.
        frame.disposal = (*ByteAt(std::uint64_t(m_nCursor) + 3) >> 2) & 0x07;
        frame.delay = *WordAt(std::uint64_t(m_nCursor) + 4);
        if (!SkipBlock())
            return std::nullopt;
        for (;;) {
            GifBlockKind kind = ClassifyBlock();
            if (kind == GifBlockKind::ImageDescriptor || kind == GifBlockKind::PlainTextExtension)
                break;
            if (kind == GifBlockKind::NoBlock || kind == GifBlockKind::Trailer || !SkipBlock())
                return std::nullopt;
        }
    } else {
        frame.delay = kNoControlExtension;
    }

    const std::uint64_t at = m_nCursor;
    if (ClassifyBlock() == GifBlockKind::ImageDescriptor) {
        // Fields 1 to 8 lie inside the descriptor's fixed 11 bytes: read them only once the
        // whole block is known to fit.
        if (CurrentBlockSize() < 0)
            return std::nullopt;
        frame.left = *WordAt(at + 1);
        frame.top = *WordAt(at + 3);
        frame.width = *WordAt(at + 5);
        frame.height = *WordAt(at + 7);
    } else if (CurrentBlockSize() >= 0) {
        // A plain-text block has no image descriptor: report its text grid, which is where
        // the text would be drawn on the logical screen.
        frame.left = *WordAt(at + 3);
        frame.top = *WordAt(at + 5);
        frame.width = *WordAt(at + 7);
        frame.height = *WordAt(at + 9);
    }
    if (!SkipBlock())
        return std::nullopt;

    const std::uint32_t head = m_nColorTableBytes + kHeaderBytes;
    const std::uint32_t span = m_nCursor - spanStart;
    if (head > spanStart)  // the header and the table must lie before the frame
        return std::nullopt;
    try {
        frame.stream.reserve(std::size_t(head) + span + 1);
    } catch (const std::bad_alloc&) {
        return std::nullopt;  // no memory for the stream: the frames end here
    }
    frame.stream.insert(frame.stream.end(), m_pData, m_pData + head);
    frame.stream.insert(frame.stream.end(), m_pData + spanStart, m_pData + m_nCursor);
    frame.stream.push_back(0x3B);
    return frame;
}
