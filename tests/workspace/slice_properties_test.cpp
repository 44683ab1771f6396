#include "workspace/slice_properties.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "workspace/output_formats.h"

namespace tessel {
namespace {

using Ints = std::vector<int32_t>;

TSplitGrid Grid(Ints vertical, Ints horizontal) {
  TSplitGrid grid;
  grid.VerticalSplits.Assign(std::move(vertical));
  grid.HorizontalSplits.Assign(std::move(horizontal));
  return grid;
}

TSliceProperties Alt(const char* text) {
  TSliceProperties properties;
  properties.Alt = text;
  return properties;
}

TEST(FollowSplits, SplitKeepsTheLeftPartMergeKeepsTheFirstMoveKeepsAll) {
  // A line added inside column 2: its left part is still column 2, the right part is new.
  EXPECT_EQ(FollowSplits({0, 100, 200, 300}, {0, 100, 150, 200, 300}), (Ints{1, 2, 4}));
  // A line added left of everything shifts the numbers.
  EXPECT_EQ(FollowSplits({0, 100, 300}, {0, 50, 100, 300}), (Ints{1, 3}));
  // Line 100 removed: columns 1 and 2 merge and keep column 1; column 3 becomes 2.
  EXPECT_EQ(FollowSplits({0, 100, 200, 300}, {0, 200, 300}), (Ints{1, 0, 2}));
  // The far edge removed: the last column is gone.
  EXPECT_EQ(FollowSplits({0, 100, 300}, {0, 100}), (Ints{1, 0}));
  // One line moved without passing another: every column stays.
  EXPECT_EQ(FollowSplits({0, 100, 200, 300}, {0, 100, 260, 300}), (Ints{1, 2, 3}));
  // Moved past another line: read by left edges (column [100, 200) is gone, [200, 300) now
  // starts the third column of [0, 200, 250, 300]).
  EXPECT_EQ(FollowSplits({0, 100, 200, 300}, {0, 200, 250, 300}), (Ints{1, 0, 2}));
  // Equal positions: the first of the equal left edges is told from the second.
  EXPECT_EQ(FollowSplits({0, 100, 100, 300}, {0, 100, 300}), (Ints{1, 2, 0}));
  // Too few lines: no columns before or after.
  EXPECT_EQ(FollowSplits({0}, {0, 100}), (Ints{}));
  EXPECT_EQ(FollowSplits({0, 100}, {100}), (Ints{0}));
  EXPECT_EQ(FollowSplits({}, {}), (Ints{}));
}

TEST(SliceTable, PropertiesFollowTheirCellThroughSplitsMergesAndMoves) {
  TSliceTable table;
  table.Set({1, 1}, Alt("top left"));
  table.Set({2, 1}, Alt("top right"));
  table.Set({2, 2}, Alt("bottom right"));
  const TSplitGrid before = Grid({0, 120, 200}, {0, 40, 100});

  // Splitting column 2 at 160 (lists unsorted, as the editor leaves them).
  TSplitGrid split = Grid({0, 200, 120, 160}, {0, 100, 40});
  TSliceTable afterSplit = table;
  afterSplit.Follow(TCellMap(before, split));
  EXPECT_EQ(afterSplit.Get({1, 1}).Alt, "top left");
  EXPECT_EQ(afterSplit.Get({2, 1}).Alt, "top right");
  EXPECT_TRUE(afterSplit.Get({3, 1}).Empty());
  EXPECT_EQ(afterSplit.Get({2, 2}).Alt, "bottom right");
  EXPECT_EQ(afterSplit.Entries().size(), 3u);

  // Removing the horizontal line merges the rows: the top row's properties win.
  TSliceTable afterMerge = table;
  afterMerge.Follow(TCellMap(before, Grid({0, 120, 200}, {0, 100})));
  EXPECT_EQ(afterMerge.Get({1, 1}).Alt, "top left");
  EXPECT_EQ(afterMerge.Get({2, 1}).Alt, "top right");
  EXPECT_EQ(afterMerge.Entries().size(), 2u);

  // Moving the vertical line from 120 to 90 keeps every cell's properties.
  TSliceTable afterMove = table;
  afterMove.Follow(TCellMap(before, Grid({0, 90, 200}, {0, 40, 100})));
  EXPECT_EQ(afterMove, table);

  // Clearing the grid leaves one cell with the first cell's properties.
  TSliceTable afterClear = table;
  afterClear.Follow(TCellMap(before, Grid({0, 200}, {0, 100})));
  ASSERT_EQ(afterClear.Entries().size(), 1u);
  EXPECT_EQ(afterClear.Get({1, 1}).Alt, "top left");

  // Empty properties are no entry.
  table.Set({1, 1}, TSliceProperties{});
  EXPECT_EQ(table.Entries().size(), 2u);
  EXPECT_TRUE(table.Get({1, 1}).Empty());
}

TEST(SortedGrid, SliceAtFindsTheCellUnderAPixel) {
  const TSortedGrid grid(Grid({200, 0, 120, 120}, {100, 0, 40}));
  EXPECT_EQ(grid.ColumnCount(), 3);
  EXPECT_EQ(grid.SliceAt(0, 0), (TSliceKey{1, 1}));
  EXPECT_EQ(grid.SliceAt(119, 39), (TSliceKey{1, 1}));
  // Pixel 120 starts the column after the empty one of width 0.
  EXPECT_EQ(grid.SliceAt(120, 40), (TSliceKey{3, 2}));
  EXPECT_EQ(grid.SliceAt(199, 99), (TSliceKey{3, 2}));
  EXPECT_EQ(grid.SliceAt(200, 50), std::nullopt);
  EXPECT_EQ(grid.SliceAt(-1, 50), std::nullopt);
  EXPECT_EQ(grid.SliceAt(50, 100), std::nullopt);
  EXPECT_EQ(grid.Cell({3, 2}), (TGridCell{3, 2, 6, 120, 40, 80, 60}));
  EXPECT_FALSE(grid.Contains({4, 1}));
  EXPECT_FALSE(TSortedGrid(Grid({0}, {0, 10})).SliceAt(0, 0).has_value());
}

TEST(SliceFormats, OneListNamesExtensionsAndChoices) {
  ASSERT_EQ(SliceFormats().size(), 8u);
  EXPECT_EQ(DefaultSliceFormat().Extension, ".jpg");
  ASSERT_NE(FindSliceFormat(".PNG"), nullptr);
  EXPECT_EQ(FindSliceFormat(".PNG")->Name, "png");
  EXPECT_EQ(FindSliceFormat("tif")->Extension, ".tif");
  EXPECT_EQ(FindSliceFormat("tiff"), nullptr);
  EXPECT_EQ(FindSliceFormat(""), nullptr);
  EXPECT_EQ(SliceFormatChoices(), "jpg, bmp, tif, png, png8, webp, webp-lossless or avif");
  ASSERT_NE(FindSliceFormat(".webp"), nullptr);
  EXPECT_EQ(FindSliceFormat(".webp")->Name, "webp");
  EXPECT_EQ(FindSliceFormat("avif")->MimeType, "image/avif");
}

TEST(SliceFormats, FormatsSharingAWriterSetWhatItWrites) {
  pg::TSaveOptions options;
  options.JPEGQuality = 55;
  options.WebPQuality = 44;
  const pg::TSaveOptions png8 = FindSliceFormat("png8")->OptionsFrom(options);
  EXPECT_EQ(FindSliceFormat("png8")->Extension, ".png");
  EXPECT_TRUE(png8.PNGIndexed);
  EXPECT_FALSE(png8.WebPLossless);
  const pg::TSaveOptions lossless = FindSliceFormat("webp-lossless")->OptionsFrom(png8);
  EXPECT_EQ(FindSliceFormat("webp-lossless")->Extension, ".webp");
  EXPECT_TRUE(lossless.WebPLossless);
  EXPECT_FALSE(lossless.PNGIndexed);
  // The plain formats undo both; every other setting passes through.
  for (const char* name : {"png", "webp", "jpg"}) {
    const pg::TSaveOptions plain = FindSliceFormat(name)->OptionsFrom(lossless);
    EXPECT_FALSE(plain.WebPLossless) << name;
    EXPECT_FALSE(plain.PNGIndexed) << name;
    EXPECT_EQ(plain.JPEGQuality, 55);
    EXPECT_EQ(plain.WebPQuality, 44);
  }
}

}  // namespace
}  // namespace tessel
