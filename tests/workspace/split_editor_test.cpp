// The split editor: the line tools' drag, the other tools, the rulers and menu paths, and the undo
// history, all in image pixels and without a window.
#include "workspace/split_editor.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
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
  // The grabbed line keeps its distance to the pointer: a click leaves it in place.
  Drag(118, 50, {});
  EXPECT_THAT(V(), ElementsAre(0, 200, 120));
  EXPECT_FALSE(editor.CanUndo());
  Drag(118, 50, {{140, 50}});
  EXPECT_THAT(V(), ElementsAre(0, 200, 142));
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

TEST_F(SplitEditorTest, TheLineLastGrabbedIsSelectedAndTheKeysMoveAndDeleteIt) {
  EXPECT_EQ(editor.SelectedLine(), TSelectedLine{});
  EXPECT_FALSE(editor.MoveSelectedLine(1));
  EXPECT_FALSE(editor.DeleteSelectedLine());
  editor.Grid().AddVertical(60);
  editor.Grid().AddVertical(100);
  // A click on a line selects it; a new line is selected once dropped.
  Drag(60, 10, {});
  EXPECT_EQ(editor.SelectedLine(), (TSelectedLine{TSplitKind::Vertical, 60}));
  editor.SetTool(TSplitTool::Horizontal);
  Drag(5, 30, {{5, 33}});
  EXPECT_EQ(editor.SelectedLine(), (TSelectedLine{TSplitKind::Horizontal, 33}));
  EXPECT_EQ(editor.UndoLabel(), "Add Line");

  // Moves in a row are one step and keep the line's place in its list.
  EXPECT_TRUE(editor.MoveSelectedLine(1));
  EXPECT_TRUE(editor.MoveSelectedLine(10));
  EXPECT_TRUE(editor.MoveSelectedLine(-1));
  EXPECT_THAT(H(), ElementsAre(0, 100, 43));
  EXPECT_EQ(editor.UndoLabel(), "Move Line");
  // Within the picture: stopped at the bottom edge, where it merges with the edge line.
  EXPECT_TRUE(editor.MoveSelectedLine(1000));
  EXPECT_THAT(H(), ElementsAre(0, 100));
  EXPECT_EQ(editor.SelectedLine(), (TSelectedLine{TSplitKind::Horizontal, 100}));
  EXPECT_FALSE(editor.MoveSelectedLine(10));
  EXPECT_TRUE(editor.Undo());
  EXPECT_THAT(H(), ElementsAre(0, 100, 33));
  EXPECT_EQ(editor.UndoLabel(), "Add Line");

  // Another line's moves are a step of their own, even with no edit between.
  Drag(60, 10, {});  // the horizontal tool grabs the vertical line under the pointer
  EXPECT_EQ(editor.SelectedLine(), (TSelectedLine{TSplitKind::Vertical, 60}));
  EXPECT_TRUE(editor.MoveSelectedLine(-10));
  EXPECT_THAT(V(), ElementsAre(0, 200, 50, 100));
  Drag(100, 10, {});
  EXPECT_TRUE(editor.MoveSelectedLine(5));
  EXPECT_THAT(V(), ElementsAre(0, 200, 50, 105));
  editor.Undo();
  EXPECT_THAT(V(), ElementsAre(0, 200, 50, 100));
  EXPECT_EQ(editor.SelectedLine(), TSelectedLine{});  // its line is no longer at 105

  Drag(100, 10, {});
  EXPECT_TRUE(editor.DeleteSelectedLine());
  EXPECT_THAT(V(), ElementsAre(0, 200, 50));
  EXPECT_EQ(editor.SelectedLine(), TSelectedLine{});
  EXPECT_EQ(editor.UndoLabel(), "Delete Line");
  // A selection whose line went away by another path is no selection.
  Drag(50, 10, {});
  editor.ClearSplits();
  EXPECT_EQ(editor.SelectedLine(), TSelectedLine{});
  EXPECT_FALSE(editor.DeleteSelectedLine());
}

TEST_F(SplitEditorTest, SnappingPullsLinesToLinesEdgesAndSteps) {
  editor.Grid().AddVertical(80);
  editor.SetSnapDistance(4);
  // Off: exact positions.
  EXPECT_EQ(editor.Snap(TSplitKind::Vertical, 83), 83);
  editor.SetSnapping(true);
  EXPECT_EQ(editor.Snap(TSplitKind::Vertical, 83), 80);
  EXPECT_EQ(editor.Snap(TSplitKind::Vertical, 85), 85);
  EXPECT_EQ(editor.Snap(TSplitKind::Vertical, 197), 200);
  EXPECT_EQ(editor.Snap(TSplitKind::Vertical, -3), 0);
  EXPECT_EQ(editor.Snap(TSplitKind::Horizontal, 83), 83);  // only lines of its own kind
  EXPECT_EQ(editor.Snap(TSplitKind::Horizontal, 97), 100);
  editor.SetSnapStep(25);
  EXPECT_EQ(editor.Snap(TSplitKind::Vertical, 48), 50);
  EXPECT_EQ(editor.Snap(TSplitKind::Vertical, 77), 75);  // the nearest wins
  EXPECT_EQ(editor.Snap(TSplitKind::Vertical, 78), 80);
  EXPECT_EQ(editor.Snap(TSplitKind::Vertical, 106), 106);
  editor.Grid().AddVertical(134);
  editor.SetSnapStep(10);
  EXPECT_EQ(editor.Snap(TSplitKind::Vertical, 132), 134);  // a line beats a step as near
  editor.Grid().VerticalSplits.Delete(3);
  editor.SetSnapStep(-5);
  EXPECT_EQ(editor.SnapStep(), 0);

  // A drag shows and drops the snapped position; dropped onto a line it merges.
  Drag(30, 10, {{78, 10}});
  EXPECT_THAT(V(), ElementsAre(0, 200, 80));
  editor.PointerMove(120, 10);
  editor.PointerPress(TSplitButton::Left, 120, 10);
  editor.PointerMove(3, 10);
  EXPECT_EQ(editor.RubberBand(), (TRubberBand{TSplitKind::Vertical, 0}));
  editor.PointerRelease(TSplitButton::Left, 3, 10);
  EXPECT_THAT(V(), ElementsAre(0, 200, 80));
  // The cross tool places both lines snapped.
  editor.SetTool(TSplitTool::Cross);
  EXPECT_TRUE(editor.PointerRelease(TSplitButton::Left, 82, 97));
  EXPECT_THAT(V(), ElementsAre(0, 200, 80, 80));
  EXPECT_THAT(H(), ElementsAre(0, 100, 100));
}

TEST_F(SplitEditorTest, EveryStepCarriesTheNameTheEditMenuShows) {
  struct TCase {
    std::function<bool()> edit;
    const char* label;
  };
  const std::vector<TCase> cases = {
      {[&] { return editor.Divide(2, 2); }, "Divide"},
      {[&] { return editor.AddByNumber(TSplitKind::Vertical, 7); }, "Add Line"},
      {[&] { return editor.AddFromTopRuler(9); }, "Add Line"},
      {[&] { return editor.AddFromLeftRuler(9); }, "Add Line"},
      {[&] {
         editor.SetTool(TSplitTool::Rectangle);
         return editor.SelectionMade(10, 10, 20, 20);
       },
       "Rectangle"},
      {[&] {
         editor.SetTool(TSplitTool::Cross);
         return editor.PointerRelease(TSplitButton::Left, 15, 15);
       },
       "Cross"},
      {[&] {
         editor.SetTool(TSplitTool::Vertical);
         Drag(100, 5, {{110, 5}});
         return true;
       },
       "Move Line"},
      {[&] {
         Drag(110, 5, {{250, 5}});
         return true;
       },
       "Delete Line"},
      {[&] { return editor.Edit([](TSplitGrid& grid) { grid.AddVertical(3); }, "Load Grid"); }, "Load Grid"},
      {[&] { return editor.ClearSplits(); }, "Clear Splits"},
  };
  for (const TCase& c : cases) {
    EXPECT_TRUE(c.edit()) << c.label;
    EXPECT_EQ(editor.UndoLabel(), c.label);
  }
  editor.Undo();
  EXPECT_EQ(editor.RedoLabel(), "Clear Splits");
  EXPECT_EQ(editor.UndoLabel(), "Load Grid");
}

TEST_F(SplitEditorTest, ARectangleToolClickAddsNoOnePixelSlices) {
  editor.SetTool(TSplitTool::Rectangle);
  // A click makes a 1 x 1 rectangle; a click that covers more pixels (zoomed out) says so.
  EXPECT_TRUE(editor.SelectionMade(40, 30, 1, 1));
  EXPECT_TRUE(editor.SelectionMade(40, 30, 8, 8, true));
  EXPECT_THAT(V(), ElementsAre(0, 200));
  EXPECT_FALSE(editor.CanUndo());
  // A dragged rectangle, however thin, adds its four edges.
  EXPECT_TRUE(editor.SelectionMade(40, 30, 2, 1));
  EXPECT_THAT(V(), ElementsAre(0, 200, 40, 42));
  EXPECT_THAT(H(), ElementsAre(0, 100, 30, 31));
}

TEST_F(SplitEditorTest, DivideAddsToOrReplacesTheLinesAndPreviewsWithoutEditing) {
  editor.Grid().AddVertical(30);
  const TSplitGrid preview = editor.DivideResult(4, 2, true);
  EXPECT_THAT(preview.VerticalSplits.Values(), ElementsAre(0, 200, 50, 100, 150));
  EXPECT_THAT(preview.HorizontalSplits.Values(), ElementsAre(0, 100, 50));
  EXPECT_THAT(V(), ElementsAre(0, 200, 30));
  EXPECT_EQ(editor.DivideResult(0, 2, true), editor.Grid());
  EXPECT_TRUE(editor.Divide(2, 1, false));
  EXPECT_THAT(V(), ElementsAre(0, 200, 30, 100));
  EXPECT_TRUE(editor.Divide(4, 2, true));
  EXPECT_EQ(editor.Grid(), preview);
  EXPECT_FALSE(editor.Divide(4, 2, true));
  editor.Undo();
  EXPECT_THAT(V(), ElementsAre(0, 200, 30, 100));
}

TEST_F(SplitEditorTest, StepsBesidesTheGridExchangeTheirPayload) {
  struct TPicture : THistoryPayload {
    size_t Bytes() const override { return 1; }
    int value = 1;
  };
  int shown = 2;
  auto payload = std::make_shared<TPicture>();
  ASSERT_TRUE(editor.RecordStep("Color Adjustment", payload));
  EXPECT_EQ(editor.UndoLabel(), "Color Adjustment");
  const auto exchange = [&shown](THistoryPayload& p) { std::swap(static_cast<TPicture&>(p).value, shown); };
  EXPECT_TRUE(editor.Undo(exchange));
  EXPECT_EQ(shown, 1);
  EXPECT_TRUE(editor.Redo(exchange));
  EXPECT_EQ(shown, 2);
  EXPECT_THAT(V(), ElementsAre(0, 200));
  // Not in the middle of a drag.
  editor.PointerPress(TSplitButton::Left, 10, 10);
  EXPECT_FALSE(editor.RecordStep("Color Adjustment", payload));
}

TSliceProperties AltText(const char* alt) {
  TSliceProperties properties;
  properties.Alt = alt;
  return properties;
}

// Slice properties follow their cell through a dragged line, a line added by a tool, a merge by
// Delete, and undo brings back what a merge dropped; the selected slice follows along.
TEST_F(SplitEditorTest, SlicePropertiesAndTheSelectedSliceFollowEveryGridEdit) {
  editor.Divide(2, 2);  // lines at 100 and 50: four cells
  ASSERT_TRUE(editor.SetSliceProperties({2, 1}, AltText("top right")));
  ASSERT_TRUE(editor.SetSliceProperties({2, 2}, AltText("bottom right")));
  EXPECT_TRUE(editor.SelectSliceAt(150, 75));
  EXPECT_EQ(editor.SelectedSlice(), (TSliceKey{2, 2}));
  EXPECT_FALSE(editor.SelectSliceAt(199, 99));  // the same slice

  // Dragging the vertical line from 100 to 60 keeps every cell.
  editor.SetTool(TSplitTool::Vertical);
  Drag(100, 10, {{80, 10}, {60, 10}});
  ASSERT_THAT(V(), ElementsAre(0, 200, 60));
  EXPECT_EQ(editor.Slices().Get({2, 1}).Alt, "top right");
  EXPECT_EQ(editor.SelectedSlice(), (TSliceKey{2, 2}));

  // A new line left of it shifts the columns; the right part of a split cell has nothing.
  Drag(30, 10, {});
  EXPECT_EQ(editor.Slices().Get({3, 1}).Alt, "top right");
  EXPECT_EQ(editor.SelectedSlice(), (TSliceKey{3, 2}));
  Drag(150, 10, {});
  EXPECT_EQ(editor.Slices().Get({3, 2}).Alt, "bottom right");
  EXPECT_TRUE(editor.Slices().Get({4, 2}).Empty());

  // Deleting the horizontal line merges the rows: the top row's properties stay.
  editor.SelectLine(TSplitKind::Horizontal, 50);
  ASSERT_TRUE(editor.DeleteSelectedLine());
  EXPECT_EQ(editor.Slices().Entries().size(), 1u);
  EXPECT_EQ(editor.Slices().Get({3, 1}).Alt, "top right");
  EXPECT_EQ(editor.SelectedSlice(), std::nullopt);  // its row is gone
  ASSERT_TRUE(editor.Undo());
  EXPECT_EQ(editor.Slices().Get({3, 2}).Alt, "bottom right");

  // A change of the grid made outside the editor's paths is followed too.
  editor.Grid().AddVertical(10);
  EXPECT_EQ(editor.Slices().Get({4, 2}).Alt, "bottom right");
  // A new picture forgets them.
  editor.NewImage(50, 50);
  EXPECT_TRUE(editor.Slices().Empty());
}

TEST_F(SplitEditorTest, TypingIntoOneSliceIsOneUndoStep) {
  editor.Divide(2, 1);
  TSliceProperties properties;
  for (const char* alt : {"L", "Lo", "Log", "Logo"}) {
    properties.Alt = alt;
    EXPECT_TRUE(editor.SetSliceProperties({1, 1}, properties));
  }
  EXPECT_FALSE(editor.SetSliceProperties({1, 1}, properties));  // nothing new
  EXPECT_FALSE(editor.SetSliceProperties({3, 1}, properties));  // no such slice
  EXPECT_EQ(editor.UndoLabel(), step::kSliceProperties);
  properties.Url = "a.html";
  EXPECT_TRUE(editor.SetSliceProperties({2, 1}, properties));  // another slice: a step of its own
  ASSERT_TRUE(editor.Undo());
  EXPECT_TRUE(editor.Slices().Get({2, 1}).Empty());
  EXPECT_EQ(editor.Slices().Get({1, 1}).Alt, "Logo");
  ASSERT_TRUE(editor.Undo());
  EXPECT_TRUE(editor.Slices().Empty());
  EXPECT_EQ(editor.UndoLabel(), step::kDivide);
  ASSERT_TRUE(editor.Redo());
  EXPECT_EQ(editor.Slices().Get({1, 1}).Alt, "Logo");

  // A project's grid and slices start a history of their own.
  TSplitGrid grid;
  grid.ResetGrid(200, 100);
  TSliceTable slices;
  slices.Set({1, 1}, AltText("whole"));
  editor.LoadState(grid, slices);
  EXPECT_FALSE(editor.CanUndo());
  EXPECT_EQ(editor.Slices(), slices);
  EXPECT_TRUE(editor.SetSlices(TSliceTable{}, "Export"));
  EXPECT_EQ(editor.UndoLabel(), "Export");
}

TEST(GridHistoryTest, UndoRedoAndForgettingRedo) {
  TGridHistory history(2);
  const TGridSnapshot a{{0}, {0}}, b{{0, 1}, {0}}, c{{0, 1}, {0, 2}};
  EXPECT_FALSE(history.CanUndo());
  history.Record(a, "First");
  history.Record(b, "Second");
  EXPECT_EQ(history.UndoLabel(), "Second");
  EXPECT_EQ(history.Undo(c).Grid, b);
  EXPECT_TRUE(history.CanRedo());
  EXPECT_EQ(history.RedoLabel(), "Second");
  EXPECT_EQ(history.UndoLabel(), "First");
  EXPECT_EQ(history.Redo(b).Grid, c);
  EXPECT_EQ(history.Undo(c).Grid, b);
  history.Record(b);  // a new edit
  EXPECT_FALSE(history.CanRedo());
  EXPECT_EQ(history.RedoLabel(), "");
  // The limit keeps the newest records.
  history.Record(c);
  EXPECT_EQ(history.Undo(a).Grid, c);
  EXPECT_EQ(history.Undo(c).Grid, b);
  EXPECT_FALSE(history.CanUndo());
}

// A payload of a given size that counts how often it was exchanged.
struct TFakePayload : THistoryPayload {
  explicit TFakePayload(size_t bytes) : size(bytes) {}
  size_t Bytes() const override { return size; }
  size_t size;
  int exchanges = 0;
};

TEST(GridHistoryTest, PayloadsTravelBetweenUndoAndRedoAndStayWithinTheBudget) {
  TGridHistory history(200, 100);
  const TGridSnapshot grid{{0, 10}, {0, 20}};
  auto first = std::make_shared<TFakePayload>(40);
  history.Record(grid, "Colours", first);
  history.Record(grid, "Line");
  auto second = std::make_shared<TFakePayload>(40);
  history.Record(grid, "Colours", second);
  EXPECT_EQ(history.PayloadBytes(), 80u);
  // One object serves undo and redo.
  const THistoryStep undone = history.Undo(grid);
  EXPECT_EQ(undone.Payload, second);
  EXPECT_EQ(history.PayloadBytes(), 80u);
  EXPECT_EQ(history.Redo(grid).Payload, second);
  // A third one does not fit: the oldest step with its payload goes, and the steps before it.
  history.Record(grid, "Colours", std::make_shared<TFakePayload>(40));
  EXPECT_EQ(history.PayloadBytes(), 80u);
  EXPECT_EQ(first.use_count(), 1);
  int steps = 0;
  while (history.CanUndo()) {
    history.Undo(grid);
    ++steps;
  }
  EXPECT_EQ(steps, 3);  // "Line", "Colours", "Colours"
  // A payload larger than the budget still makes its own step undoable.
  TGridHistory small(200, 10);
  small.Record(grid, "Colours", std::make_shared<TFakePayload>(50));
  small.Record(grid, "Colours", std::make_shared<TFakePayload>(50));
  EXPECT_TRUE(small.CanUndo());
  small.Undo(grid);
  EXPECT_FALSE(small.CanUndo());
}

}  // namespace
}  // namespace tessel
