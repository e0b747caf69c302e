#include "GifFrameWalker.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>

#include <string>
#include <vector>

#include "GifTestWriter.h"

using namespace giftest;

namespace {

const std::vector<std::uint32_t> kPalette = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF};

struct WalkResult
{
    bool header = false;
    int blocks = 0;
    std::vector<GifFrameStream> frames;
};

// Counts the graphic blocks, then extracts them, the way the banner loads a GIF. `data` is
// copied into a buffer of exactly `size` bytes so that ASan sees any read past the end.
WalkResult Walk(const Bytes& data, std::size_t size)
{
    const Bytes exact(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(size));
    WalkResult result;
    GifFrameWalker walker;
    result.header = walker.Begin(exact.data(), exact.size());
    while (walker.SkipGraphicBlock() && result.blocks <= static_cast<int>(size))
        ++result.blocks;
    walker.Rewind();
    while (auto frame = walker.ExtractGraphicBlock()) {
        result.frames.push_back(std::move(*frame));
        if (result.frames.size() > size)
            break;
    }
    return result;
}

WalkResult Walk(const Bytes& data)
{
    return Walk(data, data.size());
}

struct Piece
{
    Bytes bytes;
    int frame;  // the frame stream this block belongs to; -1 for none
};

struct ExpectedFrame
{
    std::uint32_t delay;
    std::uint32_t disposal;
    int left, top, width, height;
};

struct WalkCase
{
    std::string name;
    Bytes header;
    std::vector<Piece> pieces;
    std::vector<ExpectedFrame> frames;
};

constexpr std::uint32_t kNoCtl = GifFrameWalker::kNoControlExtension;

std::vector<WalkCase> WalkCases()
{
    const Bytes head = Header(8, 6, kPalette);
    const Bytes frameA = SolidImage(0, 0, 8, 6, 1);
    const Bytes frameB = SolidImage(2, 1, 4, 3, 2);
    return {
        {"two frames, each with a control extension",
         head,
         {{Control(1, 10), 0}, {frameA, 0}, {Control(2, 20), 1}, {frameB, 1}, {Trailer(), -1}},
         {{10, 1, 0, 0, 8, 6}, {20, 2, 2, 1, 4, 3}}},
        {"application and comment extensions before and between frames are passed over",
         head,
         {{LoopCount(0), -1},
          {Comment("made for a test"), -1},
          {Control(3, 5), 0},
          {frameA, 0},
          {Comment("between"), -1},
          {AppExtension("XMP DataXMP", Bytes(300, 'x')), -1},
          {Control(0, 7), 1},
          {frameB, 1},
          {Trailer(), -1}},
         {{5, 3, 0, 0, 8, 6}, {7, 0, 2, 1, 4, 3}}},
        {"a comment between a control extension and its image belongs to that frame",
         head,
         {{Control(1, 300), 0},
          {Comment("inside"), 0},
          {frameA, 0},
          {Control(1, 300), 1},
          {frameB, 1},
          {Trailer(), -1}},
         {{300, 1, 0, 0, 8, 6}, {300, 1, 2, 1, 4, 3}}},
        {"an application extension and a second control extension inside a graphic block",
         head,
         {{Control(2, 4), 0}, {LoopCount(3), 0}, {Control(3, 9), 0}, {frameA, 0}, {Trailer(), -1}},
         {{4, 2, 0, 0, 8, 6}}},
        {"images without control extension carry the no-delay marker",
         head,
         {{frameA, 0}, {frameB, 1}, {Trailer(), -1}},
         {{kNoCtl, 0, 0, 0, 8, 6}, {kNoCtl, 0, 2, 1, 4, 3}}},
        {"plain-text blocks are graphic blocks placed at their text grid",
         head,
         {{Control(2, 50), 0},
          {PlainText(1, 2, 5, 3, "hello"), 0},
          {PlainText(0, 4, 8, 2, "no control"), 1},
          {frameB, 2},
          {Trailer(), -1}},
         {{50, 2, 1, 2, 5, 3}, {kNoCtl, 0, 0, 4, 8, 2}, {kNoCtl, 0, 2, 1, 4, 3}}},
        {"blocks after the trailer are never looked at",
         head,
         {{Control(1, 10), 0},
          {frameA, 0},
          {Trailer(), -1},
          {Control(1, 10), -1},
          {frameB, -1},
          {Bytes{0x21, 0x42, 0xFF, 0xFF}, -1}},
         {{10, 1, 0, 0, 8, 6}}},
        {"an unknown extension label ends the walk",
         head,
         {{Control(1, 10), 0},
          {frameA, 0},
          {Bytes{0x21, 0x42, 0x01, 0x00, 0x00}, -1},
          {Control(1, 10), -1},
          {frameB, -1},
          {Trailer(), -1}},
         {{10, 1, 0, 0, 8, 6}}},
        {"an unknown label inside a graphic block drops that block",
         head,
         {{frameA, 0}, {Control(1, 10), -1}, {Bytes{0x21, 0x42, 0x00}, -1}, {frameB, -1}},
         {{kNoCtl, 0, 0, 0, 8, 6}}},
        {"a byte that starts no block ends the walk",
         head,
         {{frameA, 0}, {Bytes{0x00}, -1}, {frameB, -1}, {Trailer(), -1}},
         {{kNoCtl, 0, 0, 0, 8, 6}}},
        {"a graphic block cut by the trailer counts nothing",
         head,
         {{frameA, 0}, {Control(1, 10), -1}, {Trailer(), -1}, {frameB, -1}},
         {{kNoCtl, 0, 0, 0, 8, 6}}},
        {"local colour tables are part of the image block",
         head,
         {{Control(0, 1), 0},
          {Image(1, 1, 2, 2, {0, 1, 1, 0}, {0x112233, 0x445566}), 0},
          {Image(0, 0, 3, 1, {3, 2, 1}, std::vector<std::uint32_t>(256, 0x808080)), 1},
          {Trailer(), -1}},
         {{1, 0, 1, 1, 2, 2}, {kNoCtl, 0, 0, 0, 3, 1}}},
        {"data without a global colour table",
         Header(8, 6, {}),
         {{Image(0, 0, 1, 1, {0}, {0x000000, 0xFFFFFF}), 0},
          {Image(0, 0, 1, 1, {1}, {0x000000, 0xFFFFFF}), 1},
          {Trailer(), -1}},
         {{kNoCtl, 0, 0, 0, 1, 1}, {kNoCtl, 0, 0, 0, 1, 1}}},
        {"a missing trailer loses nothing",
         head,
         {{frameA, 0}, {frameB, 1}},
         {{kNoCtl, 0, 0, 0, 8, 6}, {kNoCtl, 0, 2, 1, 4, 3}}},
        {"only extensions: no graphic block",
         head,
         {{LoopCount(0), -1}, {Comment("x"), -1}, {Trailer(), -1}},
         {}},
    };
}

TEST(GifFrameWalker, WalksCraftedBlockSequences)
{
    for (const WalkCase& c : WalkCases()) {
        SCOPED_TRACE(c.name);
        Bytes data = c.header;
        std::vector<Bytes> expectedStreams(c.frames.size(), c.header);
        for (const Piece& piece : c.pieces) {
            data.insert(data.end(), piece.bytes.begin(), piece.bytes.end());
            if (piece.frame >= 0)
                expectedStreams.at(piece.frame)
                    .insert(expectedStreams[piece.frame].end(), piece.bytes.begin(),
                            piece.bytes.end());
        }
        for (Bytes& stream : expectedStreams)
            stream.push_back(0x3B);

        const WalkResult result = Walk(data);
        EXPECT_TRUE(result.header);
        EXPECT_EQ(result.blocks, static_cast<int>(c.frames.size()));
        ASSERT_EQ(result.frames.size(), c.frames.size());
        for (std::size_t i = 0; i < c.frames.size(); ++i) {
            SCOPED_TRACE("frame " + std::to_string(i));
            const GifFrameStream& got = result.frames[i];
            const ExpectedFrame& want = c.frames[i];
            EXPECT_EQ(got.delay, want.delay);
            EXPECT_EQ(got.disposal, want.disposal);
            EXPECT_EQ(got.left, want.left);
            EXPECT_EQ(got.top, want.top);
            EXPECT_EQ(got.width, want.width);
            EXPECT_EQ(got.height, want.height);
            EXPECT_EQ(got.stream, expectedStreams[i]);
        }
    }
}

struct BlockCase
{
    std::string name;
    Bytes block;  // placed right after a 13-byte header without colour table
    GifBlockKind kind;
    bool fits;  // the size is the whole of `block`; otherwise -1
};

TEST(GifFrameWalker, ClassifiesAndSizesEachBlockKind)
{
    const Bytes image = SolidImage(0, 0, 3, 2, 1);
    const Bytes control = Control(1, 300);
    const std::vector<BlockCase> cases = {
        {"application extension", LoopCount(0), GifBlockKind::AppExtension, true},
        {"application extension with a long chain", AppExtension("XMP DataXMP", Bytes(600, 7)),
         GifBlockKind::AppExtension, true},
        {"comment", Comment("hello"), GifBlockKind::CommentExtension, true},
        {"empty comment", Bytes{0x21, 0xFE, 0x00}, GifBlockKind::CommentExtension, true},
        {"control extension", control, GifBlockKind::ControlExtension, true},
        {"plain text", PlainText(0, 0, 8, 8, "ab"), GifBlockKind::PlainTextExtension, true},
        {"image", image, GifBlockKind::ImageDescriptor, true},
        {"image with a local table", Image(0, 0, 1, 1, {0}, std::vector<std::uint32_t>(8, 0)),
         GifBlockKind::ImageDescriptor, true},
        {"trailer", Trailer(), GifBlockKind::Trailer, true},
        {"unknown extension label", Bytes{0x21, 0x42, 0x00}, GifBlockKind::NoBlock, false},
        {"byte that starts no block", Bytes{0x00, 0x00}, GifBlockKind::NoBlock, false},
        {"extension introducer as the last byte", Bytes{0x21}, GifBlockKind::NoBlock, false},
        {"cursor at the end of the data", Bytes{}, GifBlockKind::NoBlock, false},
        {"control extension cut short", Bytes(control.begin(), control.begin() + 5),
         GifBlockKind::ControlExtension, false},
        {"image descriptor cut before its packed field", Bytes(image.begin(), image.begin() + 9),
         GifBlockKind::ImageDescriptor, false},
        {"image data without terminator", Bytes(image.begin(), image.end() - 1),
         GifBlockKind::ImageDescriptor, false},
        {"local table running past the end", Bytes{0x2C, 0, 0, 0, 0, 1, 0, 1, 0, 0x87, 1, 2, 3},
         GifBlockKind::ImageDescriptor, false},
        {"application extension cut in its fixed part", Bytes{0x21, 0xFF, 0x0B, 'N', 'E'},
         GifBlockKind::AppExtension, false},
        {"comment sub-block longer than the rest", Bytes{0x21, 0xFE, 0x09, 'a', 'b', 0x00},
         GifBlockKind::CommentExtension, false},
    };
    for (const BlockCase& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes data = Cat({Header(4, 4, {}), c.block});
        GifFrameWalker walker;
        ASSERT_TRUE(walker.Begin(data.data(), data.size()));
        EXPECT_EQ(walker.Cursor(), 13u);
        EXPECT_EQ(walker.ClassifyBlock(), c.kind);
        const std::int64_t size = c.fits ? static_cast<std::int64_t>(c.block.size()) : -1;
        EXPECT_EQ(walker.CurrentBlockSize(), size);
        EXPECT_EQ(walker.SkipBlock(), c.fits);
        EXPECT_EQ(walker.Cursor(), c.fits ? data.size() : 13u);  // a failed skip stays put
    }
}

TEST(GifFrameWalker, MeasuresSubBlockChains)
{
    struct ChainCase
    {
        std::string name;
        Bytes chain;
        std::int64_t length;
    };
    Bytes longChain = {255};
    longChain.resize(256, 'z');
    longChain.push_back(0);
    const std::vector<ChainCase> cases = {
        {"terminator only", {0}, 1},
        {"one sub-block", {3, 'a', 'b', 'c', 0}, 5},
        {"two sub-blocks", {1, 'x', 2, 'y', 'z', 0}, 6},
        {"a full 255-byte sub-block", longChain, 257},
        {"bytes after the terminator are not counted", {1, 'x', 0, 5, 5}, 3},
        {"sub-block running past the end", {3, 'a', 'b'}, -1},
        {"no terminator", {1, 'x'}, -1},
        {"nothing left", {}, -1},
    };
    for (const ChainCase& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes data = Cat({Header(1, 1, {}), c.chain});
        GifFrameWalker walker;
        ASSERT_TRUE(walker.Begin(data.data(), data.size()));
        EXPECT_EQ(walker.SubBlockChainLength(13), c.length);
    }
}

TEST(GifFrameWalker, ReadsTheHeaderOnlyWhenItIsThere)
{
    const Bytes header = Header(479, 236, kPalette);
    GifFrameWalker walker;
    ASSERT_TRUE(walker.Begin(header.data(), header.size()));
    EXPECT_EQ(walker.ScreenWidth(), 479);
    EXPECT_EQ(walker.ScreenHeight(), 236);
    EXPECT_EQ(walker.ColorTableBytes(), 12u);
    EXPECT_EQ(walker.Cursor(), 25u);

    const Bytes full =
        Cat({Header(9, 9, std::vector<std::uint32_t>(256, 0)), SolidImage(0, 0, 1, 1, 0)});
    ASSERT_TRUE(walker.Begin(full.data(), full.size()));
    EXPECT_EQ(walker.ColorTableBytes(), 768u);

    for (std::size_t n = 0; n < 13; ++n) {
        SCOPED_TRACE("header cut to " + std::to_string(n) + " bytes");
        const Bytes exact(header.begin(), header.begin() + static_cast<std::ptrdiff_t>(n));
        EXPECT_FALSE(walker.Begin(exact.data(), exact.size()));
        EXPECT_EQ(walker.IsGif(), n >= 3);
        EXPECT_FALSE(walker.SkipGraphicBlock());
        EXPECT_FALSE(walker.ExtractGraphicBlock().has_value());
    }

    const Bytes png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 0x0D, 'I', 'H'};
    EXPECT_FALSE(walker.Begin(png.data(), png.size()));
    EXPECT_FALSE(walker.IsGif());
    EXPECT_FALSE(walker.SkipGraphicBlock());

    walker.End();
    EXPECT_FALSE(walker.SkipBlock());
    EXPECT_FALSE(walker.SkipGraphicBlock());
    EXPECT_FALSE(walker.ExtractGraphicBlock().has_value());
}

// The walk must never read past the data, wherever the data ends, and must count exactly the
// graphic blocks that lie wholly inside it.
TEST(GifFrameWalker, TwoFrameGifCutAtEveryByte)
{
    const Bytes head = Header(6, 4, kPalette);
    const Bytes first =
        Cat({LoopCount(0), Control(1, 10), Comment("c"), SolidImage(0, 0, 6, 4, 1)});
    const Bytes second = Cat({Control(3, 20), SolidImage(1, 1, 2, 2, 2)});
    const Bytes data = Cat({head, first, second, Trailer()});
    const std::size_t firstEnd = head.size() + first.size();
    const std::size_t secondEnd = firstEnd + second.size();
    const WalkResult whole = Walk(data);
    ASSERT_EQ(whole.frames.size(), 2u);

    for (std::size_t n = 0; n <= data.size(); ++n) {
        SCOPED_TRACE("cut to " + std::to_string(n) + " bytes");
        const WalkResult cut = Walk(data, n);
        const int expected = (n >= firstEnd) + (n >= secondEnd);
        EXPECT_EQ(cut.header, n >= 13);
        EXPECT_EQ(cut.blocks, expected);
        ASSERT_EQ(cut.frames.size(), static_cast<std::size_t>(expected));
        for (int i = 0; i < expected; ++i)
            EXPECT_EQ(cut.frames[i].stream, whole.frames[i].stream);
    }
}

}  // namespace

namespace {

Bytes ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The banner resource: four full-size slides, each with its own control extension.
TEST(GifFrameWalker, BannerResourceHasFourFullSizeSlides)
{
    const Bytes data = ReadFile(VANTORA_SOURCE_DIR "/resources/gif/170.gif");
    ASSERT_FALSE(data.empty()) << "resources/gif/170.gif is missing";
    const WalkResult result = Walk(data);
    ASSERT_TRUE(result.header);
    EXPECT_EQ(result.blocks, 4);
    ASSERT_EQ(result.frames.size(), 4u);

    GifFrameWalker walker;
    ASSERT_TRUE(walker.Begin(data.data(), data.size()));
    EXPECT_EQ(walker.ScreenWidth(), 479);
    EXPECT_EQ(walker.ScreenHeight(), 236);
    const std::size_t head = walker.ColorTableBytes() + 13;
    EXPECT_EQ(head, 768u + 13u);

    auto searchFrom = data.begin() + static_cast<std::ptrdiff_t>(head);
    for (std::size_t i = 0; i < result.frames.size(); ++i) {
        SCOPED_TRACE("slide " + std::to_string(i));
        const GifFrameStream& frame = result.frames[i];
        EXPECT_EQ(frame.disposal, 1u);
        EXPECT_EQ(frame.delay, 300u);
        EXPECT_EQ(frame.left, 0);
        EXPECT_EQ(frame.top, 0);
        EXPECT_EQ(frame.width, 479);
        EXPECT_EQ(frame.height, 236);
        ASSERT_GT(frame.stream.size(), head + 8 + 1);
        EXPECT_TRUE(std::equal(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(head),
                               frame.stream.begin()));
        EXPECT_EQ(frame.stream.back(), 0x3B);
        // The frame's blocks: its control extension, then its image, copied from the data
        // in file order.
        const auto blocksBegin = frame.stream.begin() + static_cast<std::ptrdiff_t>(head);
        const auto blocksEnd = frame.stream.end() - 1;
        EXPECT_EQ(*blocksBegin, 0x21);
        EXPECT_EQ(*(blocksBegin + 1), 0xF9);
        EXPECT_EQ(*(blocksBegin + 8), 0x2C);
        auto found = std::search(searchFrom, data.end(), blocksBegin, blocksEnd);
        ASSERT_NE(found, data.end());
        searchFrom = found + (blocksEnd - blocksBegin);
    }
    EXPECT_EQ(*searchFrom, 0x3B);  // the trailer follows the last slide
}

}  // namespace
