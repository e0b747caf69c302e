// Walks the block structure of GIF data held in memory and cuts each graphic block out into a
// stand-alone one-frame GIF stream (header, screen descriptor and global colour table of the
// original, the frame's blocks, a trailer). Works on bytes alone: no decoder, no window system.
//
// Every read is checked against the end of the data: a label, a fixed field or a sub-block
// chain that would lie past the end makes that block malformed, and a malformed block ends the
// walk there.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

enum class GifBlockKind : int
{
    NoBlock = 0,  // unknown label, not a block start, or the end of the data
    AppExtension = 1,
    CommentExtension = 2,
    ControlExtension = 3,
    PlainTextExtension = 4,
    ImageDescriptor = 5,
    Trailer = 6,
};

// One graphic block cut out as a GIF stream of its own, with what the control needs to show it.
struct GifFrameStream
{
    std::vector<std::uint8_t> stream;  // header + screen descriptor + global table, blocks, 0x3B
    std::uint32_t delay = 0;           // hundredths of a second; 0xFFFFFFFF without control block
    std::uint32_t disposal = 0;        // 0 to 7
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

class GifFrameWalker
{
public:
    static constexpr std::uint32_t kNoControlExtension = 0xFFFFFFFFu;

    GifFrameWalker() = default;

    // Takes the data (not owned; it must outlive the walk) and reads the header: true when it
    // starts with "GIF" and holds the whole screen descriptor and global colour table. Either
    // way the cursor is put on the first block after the table.
    bool Begin(const std::uint8_t* data, std::size_t size);
    // Forgets the data; every operation then fails.
    void End();

    // Puts the cursor back on the first block after the global colour table.
    void Rewind() { m_nCursor = m_nColorTableBytes + 13; }

    GifBlockKind ClassifyBlock() const;
    // Length of the data sub-block chain starting at `offset`, terminator included; -1 when
    // the chain runs past the end of the data.
    std::int64_t SubBlockChainLength(std::uint32_t offset) const;
    // Size of the block at the cursor; -1 for NoBlock or when the block does not fit the data.
    std::int64_t CurrentBlockSize() const;
    bool SkipBlock();
    bool SkipGraphicBlock();
    // The next graphic block as a frame stream, or nothing at the end of the frames.
    std::optional<GifFrameStream> ExtractGraphicBlock();

    bool IsGif() const { return m_bGif; }
    int ScreenWidth() const { return m_nScreenWidth; }
    int ScreenHeight() const { return m_nScreenHeight; }
    std::uint32_t ColorTableBytes() const { return m_nColorTableBytes; }
    std::uint32_t Cursor() const { return m_nCursor; }
    void SetCursor(std::uint32_t cursor) { m_nCursor = cursor; }

private:
    // Byte at `offset`, or nothing past the end.
    std::optional<std::uint8_t> ByteAt(std::uint64_t offset) const;
    std::optional<std::uint16_t> WordAt(std::uint64_t offset) const;
    // Passes application and comment extensions; false at a malformed block or the trailer.
    bool SkipLeadingExtensions();
    // From a control extension at the cursor, passes the blocks up to and including the image
    // descriptor or plain-text block that ends the graphic block.
    bool SkipToGraphicRendering();

    const std::uint8_t* m_pData = nullptr;
    std::uint32_t m_nDataSize = 0;
    std::uint32_t m_nCursor = 0;
    std::uint32_t m_nColorTableBytes = 0;
    bool m_bGif = false;
    int m_nScreenWidth = 0;
    int m_nScreenHeight = 0;
};
