#include "workspace/split_grid.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "workspace/errors.h"

namespace tessel {
namespace {

std::vector<int32_t> V(const TIntegerList& list) {
  return list.Values();
}

TEST(IntegerList, AppendsUnsortedKeepsDuplicatesAndSortsOnlyOnRequest) {
  TIntegerList list;
  for (int32_t v : {5, -3, 5, 2}) list.Add(v);
  EXPECT_EQ(V(list), (std::vector<int32_t>{5, -3, 5, 2}));
  EXPECT_EQ(list.IndexOf(5), 0);
  EXPECT_EQ(list.IndexOf(7), -1);
  list.Delete(0);
  EXPECT_EQ(V(list), (std::vector<int32_t>{-3, 5, 2}));
  EXPECT_THROW(list.Delete(3), EListError);
  EXPECT_THROW(list.Delete(-1), EListError);
  EXPECT_THROW(list.Items(3), EListError);
  list.Sort();
  EXPECT_EQ(V(list), (std::vector<int32_t>{-3, 2, 5}));
  list.Clear();
  EXPECT_EQ(list.Count(), 0);
}

TEST(SplitGrid, ResetGivesTheImageEdgesAndOneCell) {
  TSplitGrid grid;
  grid.AddVertical(7);
  grid.ResetGrid(640, 480);
  EXPECT_EQ(V(grid.VerticalSplits), (std::vector<int32_t>{0, 640}));
  EXPECT_EQ(V(grid.HorizontalSplits), (std::vector<int32_t>{0, 480}));
  ASSERT_EQ(grid.CellCount(), 1);
  EXPECT_EQ(grid.CellAt(0), (TGridCell{1, 1, 1, 0, 0, 640, 480}));
}

TEST(SplitGrid, MenuPathAppendsUnsortedUntilSortAndKeepsDuplicates) {
  TSplitGrid grid;
  grid.ResetGrid(640, 480);
  EXPECT_TRUE(grid.AddVerticalByNumber(100, 640));
  EXPECT_TRUE(grid.AddVerticalByNumber(50, 640));
  EXPECT_TRUE(grid.AddVerticalByNumber(50, 640));
  EXPECT_TRUE(grid.AddVerticalByNumber(640, 640));  // the far edge itself is accepted
  EXPECT_FALSE(grid.AddVerticalByNumber(-1, 640));
  EXPECT_FALSE(grid.AddVerticalByNumber(641, 640));
  EXPECT_FALSE(grid.AddHorizontalByNumber(481, 480));
  EXPECT_TRUE(grid.AddHorizontalByNumber(0, 480));
  EXPECT_EQ(V(grid.VerticalSplits), (std::vector<int32_t>{0, 640, 100, 50, 50, 640}));
  grid.SortSplits();
  EXPECT_EQ(V(grid.VerticalSplits), (std::vector<int32_t>{0, 50, 50, 100, 640, 640}));
  EXPECT_EQ(V(grid.HorizontalSplits), (std::vector<int32_t>{0, 0, 480}));
  // Equal neighbours give a column (and a row) of size 0.
  EXPECT_EQ(grid.Cell(2, 1).Width, 0);
  EXPECT_EQ(grid.Cell(1, 1).Height, 0);
}

TEST(SplitGrid, LineToolDropRefusesDuplicatesAndPositionsOutsideTheImage) {
  TSplitGrid grid;
  grid.ResetGrid(640, 480);
  EXPECT_FALSE(grid.DropVertical(640, 640));  // merges with the edge
  EXPECT_TRUE(grid.DropVertical(300, 640));
  EXPECT_FALSE(grid.DropVertical(300, 640));
  EXPECT_FALSE(grid.DropVertical(-1, 640));
  EXPECT_FALSE(grid.DropHorizontal(481, 480));
  EXPECT_TRUE(grid.DropHorizontal(480 - 1, 480));
  EXPECT_EQ(V(grid.VerticalSplits), (std::vector<int32_t>{0, 640, 300}));
  EXPECT_EQ(V(grid.HorizontalSplits), (std::vector<int32_t>{0, 480, 479}));
}

TEST(SplitGrid, PickUpAndDropMovesMergesOrRemovesALine) {
  TSplitGrid grid;
  grid.ResetGrid(640, 480);
  grid.AddVertical(200);
  grid.AddHorizontal(100);
  // Horizontal first: a pointer on both lines picks the horizontal one.
  EXPECT_EQ(grid.HitTest(200, 100).Kind, TSplitKind::Horizontal);
  EXPECT_EQ(grid.HitTest(200, 101).Kind, TSplitKind::Vertical);
  EXPECT_EQ(grid.HitTest(201, 101).Kind, TSplitKind::None);  // exact hits only

  EXPECT_EQ(grid.PickUp(200, 100).Kind, TSplitKind::Horizontal);
  EXPECT_TRUE(grid.DropHorizontal(150, 480));
  EXPECT_EQ(V(grid.HorizontalSplits), (std::vector<int32_t>{0, 480, 150}));

  EXPECT_EQ(grid.PickUp(200, 7).Kind, TSplitKind::Vertical);
  EXPECT_FALSE(grid.DropVertical(640, 640));  // onto another line: merged
  EXPECT_EQ(V(grid.VerticalSplits), (std::vector<int32_t>{0, 640}));

  EXPECT_EQ(grid.PickUp(5, 150).Kind, TSplitKind::Horizontal);
  EXPECT_FALSE(grid.DropHorizontal(500, 480));  // past the bottom: gone
  EXPECT_EQ(V(grid.HorizontalSplits), (std::vector<int32_t>{0, 480}));
  EXPECT_EQ(grid.PickUp(5, 7).Kind, TSplitKind::None);
}

TEST(SplitGrid, HitTestWithToleranceTakesTheNearestSplit) {
  TSplitGrid grid;
  grid.VerticalSplits = {0, 640, 103, 97};
  grid.HorizontalSplits = {0, 480, 52};
  // Of two splits within reach the nearer wins; of equally near ones the first in list order.
  EXPECT_EQ(grid.HitTest(101, 300, 3).Index, 2);
  EXPECT_EQ(grid.HitTest(99, 300, 3).Index, 3);
  EXPECT_EQ(grid.HitTest(100, 300, 3).Index, 2);
  EXPECT_EQ(grid.HitTest(100, 300, 2).Kind, TSplitKind::None);
  // Near a crossing the nearer line wins, the horizontal one when both are as near.
  TSplitHit hit = grid.HitTest(103, 50, 2);
  EXPECT_EQ(hit.Kind, TSplitKind::Vertical);
  EXPECT_EQ(hit.Index, 2);
  hit = grid.HitTest(102, 51, 2);
  EXPECT_EQ(hit.Kind, TSplitKind::Horizontal);
  EXPECT_EQ(hit.Index, 2);
  EXPECT_EQ(grid.HitTest(103, 52, 0).Kind, TSplitKind::Horizontal);
  // Far ends of the int32 range do not overflow the distance.
  grid.VerticalSplits = {INT32_MIN};
  EXPECT_EQ(grid.NearestVertical(INT32_MAX, INT32_MAX), -1);
  EXPECT_EQ(grid.NearestVertical(INT32_MIN + 5, 5), 0);
  // Picking up with a tolerance removes the line that was hit.
  grid.VerticalSplits = {0, 640, 103, 97};
  EXPECT_EQ(grid.PickUp(98, 300, 3).Index, 3);
  EXPECT_EQ(V(grid.VerticalSplits), (std::vector<int32_t>{0, 640, 103}));
}

TEST(SplitGrid, DivideAddsEqualPartsThatAreNotThereYet) {
  TSplitGrid grid;
  grid.ResetGrid(200, 100);
  grid.AddVertical(100);
  EXPECT_TRUE(grid.Divide(4, 3, 200, 100));
  EXPECT_EQ(V(grid.VerticalSplits), (std::vector<int32_t>{0, 200, 100, 50, 150}));
  EXPECT_EQ(V(grid.HorizontalSplits), (std::vector<int32_t>{0, 100, 33, 66}));
  EXPECT_FALSE(grid.Divide(2, 1, 200, 100));  // 100 is there already
  EXPECT_FALSE(grid.Divide(0, 5, 200, 100));
  EXPECT_FALSE(grid.Divide(5, -1, 200, 100));
  // Products beyond 32 bits: 3 * 2000000000 / 4.
  TSplitGrid wide;
  EXPECT_TRUE(wide.Divide(4, 1, 2000000000, 1));
  EXPECT_EQ(V(wide.VerticalSplits), (std::vector<int32_t>{500000000, 1000000000, 1500000000}));
}

TEST(SplitGrid, RectangleAndCrossPaths) {
  TSplitGrid grid;
  grid.ResetGrid(640, 480);
  EXPECT_TRUE(grid.AddRectangle(10, 20, 30, 40, 640, 480));
  EXPECT_EQ(V(grid.VerticalSplits), (std::vector<int32_t>{0, 640, 10, 40}));
  EXPECT_EQ(V(grid.HorizontalSplits), (std::vector<int32_t>{0, 480, 20, 60}));
  EXPECT_FALSE(grid.AddRectangle(620, 0, 30, 10, 640, 480));
  EXPECT_FALSE(grid.AddRectangle(-1, 0, 30, 10, 640, 480));
  EXPECT_TRUE(grid.AddRectangle(0, 0, 640, 480, 640, 480));

  grid.ResetGrid(640, 480);
  EXPECT_TRUE(grid.AddCross(640, 0, 640, 480));  // no duplicate check
  EXPECT_FALSE(grid.AddCross(641, 5, 640, 480));
  EXPECT_FALSE(grid.AddCross(5, -1, 640, 480));
  EXPECT_EQ(V(grid.VerticalSplits), (std::vector<int32_t>{0, 640, 640}));
  EXPECT_EQ(V(grid.HorizontalSplits), (std::vector<int32_t>{0, 480, 0}));
}

TEST(SplitGrid, RulerReleases) {
  TSplitGrid grid;
  grid.ResetGrid(640, 480);
  EXPECT_FALSE(grid.AddFromTopRuler(0, 640));  // x = 0 is refused on the top ruler
  EXPECT_FALSE(grid.AddFromTopRuler(-22, 640));
  EXPECT_TRUE(grid.AddFromTopRuler(1, 640));
  EXPECT_TRUE(grid.AddFromTopRuler(640, 640));
  EXPECT_FALSE(grid.AddFromTopRuler(641, 640));
  EXPECT_TRUE(grid.AddFromLeftRuler(0, 480));
  EXPECT_TRUE(grid.AddFromLeftRuler(480, 480));
  EXPECT_FALSE(grid.AddFromLeftRuler(481, 480));
  EXPECT_FALSE(grid.AddFromLeftRuler(-1, 480));
  EXPECT_EQ(V(grid.VerticalSplits), (std::vector<int32_t>{0, 640, 1, 640}));
  EXPECT_EQ(V(grid.HorizontalSplits), (std::vector<int32_t>{0, 480, 0, 480}));

  // Without an image W = H = 0: only a left-ruler release at 0 is taken.
  TSplitGrid empty;
  EXPECT_FALSE(empty.AddFromTopRuler(1, 0));
  EXPECT_TRUE(empty.AddFromLeftRuler(0, 0));
  EXPECT_FALSE(empty.AddFromLeftRuler(1, 0));
  EXPECT_EQ(V(empty.HorizontalSplits), (std::vector<int32_t>{0}));
}

TEST(SplitGrid, CellEnumerationRowsOuterColumnsInner) {
  TSplitGrid grid;
  grid.VerticalSplits = {0, 120, 200};
  grid.HorizontalSplits = {0, 40, 100};
  std::vector<TGridCell> cells;
  grid.ForEachCell([&](const TGridCell& cell) { cells.push_back(cell); });
  const std::vector<TGridCell> expected = {{1, 1, 1, 0, 0, 120, 40},
                                           {2, 1, 2, 120, 0, 80, 40},
                                           {1, 2, 3, 0, 40, 120, 60},
                                           {2, 2, 4, 120, 40, 80, 60}};
  EXPECT_EQ(cells, expected);
  for (int64_t i = 0; i < grid.CellCount(); ++i) EXPECT_EQ(grid.CellAt(i), expected[static_cast<size_t>(i)]);

  // One vertical entry: no columns, the rows remain.
  grid.VerticalSplits = {0};
  EXPECT_EQ(grid.ColumnCount(), 0);
  EXPECT_EQ(grid.RowCount(), 2);
  EXPECT_EQ(grid.CellCount(), 0);
  grid.HorizontalSplits = {};
  EXPECT_EQ(grid.RowCount(), 0);
}

}  // namespace
}  // namespace tessel
