// The split editor: the line tools' drag, the other tools, the rulers and menu paths, and the undo
// history, all in image pixels and without a window.
#include "workspace/split_editor.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <stdexcept>

namespace tessel {
namespace {

using ::testing::ElementsAre;

class SplitEditorTest : public ::testing::Test {
 protected:
  void SetUp() override { editor.NewImage(200, 100); }
  std::vector<int32_t> H() const { return editor.Grid().HorizontalSplits.Values(); }
  std::vector<int32_t> V() const { return editor.Grid().VerticalSplits.Values(); }
  // Press, move through `path` and release at its end with the left button.
  void Drag(int32_t x, int32_t y, std::initializer_list<std::pair<int32_t, int32_t>> path) {
    editor.PointerMove(x, y);
    editor.PointerPress(TSplitButton::Left, x, y);
    std::pair<int32_t, int32_t> last{x, y};
    for (const auto& p : path) {
      editor.PointerMove(p.first, p.second);
      last = p;
    }
    editor.PointerRelease(TSplitButton::Left, last.first, last.second);
  }

  TSplitEditor editor;
};

TEST_F(SplitEditorTest, LineToolsShowThePointerAndCarryARubberBandUntilTheDrop) {
  ASSERT_TRUE(editor.AddFromLeftRuler(40));
  editor.PointerMove(120, 40);
  EXPECT_EQ(editor.Pointer(), TSplitPointer::UpDown);  // the horizontal list first
  editor.PointerMove(200, 41);
  EXPECT_EQ(editor.Pointer(), TSplitPointer::LeftRight);
  editor.PointerMove(199, 41);
  EXPECT_EQ(editor.Pointer(), TSplitPointer::Arrow);  // exact hits only by default

  // A new vertical line: the band follows the pointer; the drop adds it at the end of its list.
  EXPECT_TRUE(editor.PointerPress(TSplitButton::Left, 120, 10));
  EXPECT_EQ(editor.DragState(), TDragState::Vertical);
  EXPECT_EQ(editor.Pointer(), TSplitPointer::LeftRight);
  EXPECT_EQ(editor.RubberBand(), (TRubberBand{TSplitKind::Vertical, 120}));
  editor.PointerMove(130, 80);
  EXPECT_EQ(editor.RubberBand(), (TRubberBand{TSplitKind::Vertical, 130}));
  // Another press while dragging starts nothing; undo waits for the drop.
  EXPECT_FALSE(editor.PointerPress(TSplitButton::Left, 5, 5));
  EXPECT_FALSE(editor.CanUndo());
  EXPECT_FALSE(editor.Undo());
  EXPECT_TRUE(editor.PointerRelease(TSplitButton::Left, 130, 80));
  EXPECT_TRUE(editor.CanUndo());
  EXPECT_THAT(V(), ElementsAre(0, 200, 130));
  EXPECT_EQ(editor.DragState(), TDragState::None);
  EXPECT_EQ(editor.RubberBand(), TRubberBand{});
  EXPECT_EQ(editor.Pointer(), TSplitPointer::Arrow);

  // The horizontal tool starts horizontal lines; the middle button starts nothing.
  editor.SetTool(TSplitTool::Horizontal);
  EXPECT_FALSE(editor.PointerPress(TSplitButton::Middle, 10, 70));
  Drag(10, 70, {{10, 75}});
  EXPECT_THAT(H(), ElementsAre(0, 100, 40, 75));
}

TEST_F(SplitEditorTest, PickedUpLinesMoveMergeOrVanishAndEachDragIsOneStep) {
  editor.Grid().AddVertical(120);
  editor.Grid().AddVertical(60);
  // Moved: it comes back at the end of its list.
  Drag(120, 50, {{150, 50}});
  EXPECT_THAT(V(), ElementsAre(0, 200, 60, 150));
  // Dropped on another line: merged into it.
  Drag(150, 50, {{60, 50}});
  EXPECT_THAT(V(), ElementsAre(0, 200, 60));
  // Dropped past the picture's edge: gone, also a horizontal line picked up with the line tool
  // of the other kind.
  editor.Grid().AddHorizontal(30);
  Drag(5, 30, {{5, 101}});
  EXPECT_THAT(H(), ElementsAre(0, 100));
  Drag(60, 7, {{-1, 7}});
  EXPECT_THAT(V(), ElementsAre(0, 200));
  // Picked up and dropped where it was: no step.
  editor.Grid().AddVertical(10);
  Drag(10, 5, {{11, 5}, {10, 5}});
  EXPECT_THAT(V(), ElementsAre(0, 200, 10));
  // Each drag that changed something is one step back.
  editor.Undo();
  EXPECT_THAT(V(), ElementsAre(0, 200, 60));  // the line dropped past the left edge is back
  EXPECT_THAT(H(), ElementsAre(0, 100));
  editor.Undo();
  EXPECT_THAT(H(), ElementsAre(0, 100, 30));
  editor.Undo();
  EXPECT_THAT(V(), ElementsAre(0, 200, 60, 150));
  editor.Undo();
  EXPECT_THAT(V(), ElementsAre(0, 200, 120, 60));
  EXPECT_FALSE(editor.Undo());
}

TEST_F(SplitEditorTest, RightButtonSwitchesBetweenTheLineToolsOnly) {
  EXPECT_FALSE(editor.PointerPress(TSplitButton::Right, 10, 10));
  EXPECT_EQ(editor.Tool(), TSplitTool::Horizontal);
  editor.PointerPress(TSplitButton::Right, 10, 10);
  EXPECT_EQ(editor.Tool(), TSplitTool::Vertical);
  for (TSplitTool tool : {TSplitTool::Rectangle, TSplitTool::Cross}) {
    editor.SetTool(tool);
    editor.PointerPress(TSplitButton::Right, 10, 10);
    EXPECT_EQ(editor.Tool(), tool);
    editor.PointerMove(200, 100);  // on both edges: the other tools show no split pointer
    EXPECT_EQ(editor.Pointer(), TSplitPointer::Arrow);
  }
  EXPECT_THAT(V(), ElementsAre(0, 200));
}

TEST_F(SplitEditorTest, CrossAndRectangleTools) {
  editor.SetTool(TSplitTool::Cross);
  EXPECT_FALSE(editor.PointerPress(TSplitButton::Left, 30, 70));
  EXPECT_TRUE(editor.PointerRelease(TSplitButton::Left, 30, 70));
  EXPECT_FALSE(editor.PointerRelease(TSplitButton::Right, 40, 50));
  EXPECT_FALSE(editor.PointerRelease(TSplitButton::Left, 30, 101));  // outside the picture
  EXPECT_TRUE(editor.PointerRelease(TSplitButton::Left, 30, 70));    // no duplicate check
  EXPECT_THAT(V(), ElementsAre(0, 200, 30, 30));
  EXPECT_THAT(H(), ElementsAre(0, 100, 70, 70));
  // The selection the cross tool's drag leaves is removed, and adds nothing.
  EXPECT_TRUE(editor.SelectionMade(1, 2, 3, 4));
  EXPECT_THAT(V(), ElementsAre(0, 200, 30, 30));

  editor.NewImage(200, 100);
  editor.SetTool(TSplitTool::Rectangle);
  EXPECT_FALSE(editor.PointerRelease(TSplitButton::Left, 30, 70));
  EXPECT_TRUE(editor.SelectionMade(10, 20, 31, 41));
  EXPECT_THAT(V(), ElementsAre(0, 200, 10, 41));
  EXPECT_THAT(H(), ElementsAre(0, 100, 20, 61));
  EXPECT_TRUE(editor.SelectionMade(190, 20, 31, 41));  // reaches past the edge: nothing added
  EXPECT_THAT(V(), ElementsAre(0, 200, 10, 41));
  editor.Undo();
  EXPECT_THAT(V(), ElementsAre(0, 200));
  editor.SetTool(TSplitTool::Vertical);
  EXPECT_FALSE(editor.SelectionMade(10, 20, 31, 41));
}

TEST_F(SplitEditorTest, RulerMenuAndDividePathsCheckAgainstTheImageSize) {
  EXPECT_FALSE(editor.AddFromTopRuler(0));
  EXPECT_TRUE(editor.AddFromTopRuler(200));
  EXPECT_FALSE(editor.AddFromTopRuler(201));
  EXPECT_TRUE(editor.AddFromLeftRuler(0));
  EXPECT_FALSE(editor.AddFromLeftRuler(-1));
  EXPECT_TRUE(editor.AddByNumber(TSplitKind::Vertical, 0));
  EXPECT_FALSE(editor.AddByNumber(TSplitKind::Horizontal, 101));
  EXPECT_FALSE(editor.AddByNumber(TSplitKind::None, 5));
  EXPECT_THAT(V(), ElementsAre(0, 200, 200, 0));
  EXPECT_THAT(H(), ElementsAre(0, 100, 0));
  // A picture changed in place keeps its grid; the paths follow its new size.
  editor.SetImageSize(300, 50);
  EXPECT_TRUE(editor.AddFromTopRuler(300));
  EXPECT_FALSE(editor.AddFromLeftRuler(51));
  EXPECT_TRUE(editor.Divide(3, 2));
  EXPECT_THAT(V(), ElementsAre(0, 200, 200, 0, 300, 100));
  EXPECT_THAT(H(), ElementsAre(0, 100, 0, 25));
  EXPECT_FALSE(editor.Divide(3, 1));  // nothing new
  EXPECT_TRUE(editor.ClearSplits());
  EXPECT_THAT(V(), ElementsAre(0, 300));
  EXPECT_THAT(H(), ElementsAre(0, 50));
}

TEST_F(SplitEditorTest, GrabToleranceReachesANearbyLine) {
  editor.Grid().AddVertical(120);
  editor.SetGrabTolerance(3);
  editor.PointerMove(117, 50);
  EXPECT_EQ(editor.Pointer(), TSplitPointer::LeftRight);
  EXPECT_EQ(editor.HitTest(116, 50).Kind, TSplitKind::None);
  Drag(118, 50, {{140, 50}});
  EXPECT_THAT(V(), ElementsAre(0, 200, 140));
  editor.SetGrabTolerance(-4);
  EXPECT_EQ(editor.GrabTolerance(), 0);
}

TEST_F(SplitEditorTest, EditsRecordOnlyChangesAndNewImagesForgetTheHistory) {
  EXPECT_FALSE(editor.Edit([](TSplitGrid&) {}));
  EXPECT_FALSE(editor.CanUndo());
  EXPECT_THROW(editor.Edit([](TSplitGrid&) { throw std::runtime_error("unreadable"); }), std::runtime_error);
  EXPECT_FALSE(editor.CanUndo());
  EXPECT_TRUE(editor.Edit([](TSplitGrid& grid) {
    grid.SortSplits();
    grid.AddVertical(5);
  }));
  EXPECT_TRUE(editor.Undo());
  EXPECT_TRUE(editor.CanRedo());
  EXPECT_TRUE(editor.Redo());
  EXPECT_THAT(V(), ElementsAre(0, 200, 5));
  // A new picture mid-drag: the drag ends, the grid is its edges and nothing can be undone.
  editor.PointerPress(TSplitButton::Left, 50, 50);
  editor.NewImage(640, 480);
  EXPECT_EQ(editor.DragState(), TDragState::None);
  EXPECT_THAT(V(), ElementsAre(0, 640));
  EXPECT_FALSE(editor.CanUndo());
  EXPECT_FALSE(editor.CanRedo());
  EXPECT_FALSE(editor.PointerRelease(TSplitButton::Left, 50, 50));
  EXPECT_THAT(V(), ElementsAre(0, 640));
}

TEST(GridHistoryTest, UndoRedoAndForgettingRedo) {
  TGridHistory history(2);
  const TGridSnapshot a{{0}, {0}}, b{{0, 1}, {0}}, c{{0, 1}, {0, 2}};
  EXPECT_FALSE(history.CanUndo());
  history.Record(a);
  history.Record(b);
  EXPECT_EQ(history.Undo(c), b);
  EXPECT_TRUE(history.CanRedo());
  EXPECT_EQ(history.Redo(b), c);
  EXPECT_EQ(history.Undo(c), b);
  history.Record(b);  // a new edit
  EXPECT_FALSE(history.CanRedo());
  // The limit keeps the newest records.
  history.Record(c);
  EXPECT_EQ(history.Undo(a), c);
  EXPECT_EQ(history.Undo(c), b);
  EXPECT_FALSE(history.CanUndo());
}

}  // namespace
}  // namespace tessel
