#include <gtest/gtest.h>

#include <QApplication>
#include <QDropEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QTest>
#include <QVBoxLayout>
#include <QWindow>
#include <vector>

#include "imaging/view/qt_pg_image.h"
#include "imaging/view/qt_pic_box.h"

namespace pg {
namespace {

// A window that takes every drop, as the main window takes dropped files.
class TDropWindow : public QWidget {
 public:
  TDropWindow() { setAcceptDrops(true); }
  int enters = 0;
  int drops = 0;

 protected:
  void dragEnterEvent(QDragEnterEvent* e) override {
    ++enters;
    e->acceptProposedAction();
  }
  void dragMoveEvent(QDragMoveEvent* e) override { e->acceptProposedAction(); }
  void dropEvent(QDropEvent* e) override {
    ++drops;
    e->acceptProposedAction();
  }
};

struct TOverCall {
  const QMimeData* data;
  int32_t x;
  int32_t y;
  TDragState state;
};

class ViewDragTest : public ::testing::Test {
 protected:
  TDropWindow window;
  TPGImage* view = nullptr;
  QMimeData files;
  std::vector<TOverCall> overs;
  bool acceptAnswer = true;
  int droppedX = -1;
  int droppedY = -1;
  const QMimeData* droppedData = nullptr;

  void SetUp() override {
    auto* layout = new QVBoxLayout(&window);
    layout->setContentsMargins(0, 0, 0, 0);
    view = new TPGImage(&window);
    layout->addWidget(view);
    window.resize(300, 200);
    auto image = std::make_unique<TPixelGraphic>();
    image->NewImage(100, 80, bc24Bit);
    view->AdoptPixelGraphic(std::move(image));
    view->SetCenter(true);  // the picture box away from the client origin
    files.setUrls({QUrl::fromLocalFile("/tmp/a.bmp")});
  }

  void Show() {
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  }

  void AssignPicBoxHandlers() {
    view->PicBoxOnDragOver = [this](const void*, const QMimeData* data, int32_t x, int32_t y,
                                    TDragState state, bool& accept) {
      overs.push_back({data, x, y, state});
      accept = acceptAnswer;
    };
    view->PicBoxOnDragDrop = [this](const void*, const QMimeData* data, int32_t x, int32_t y) {
      droppedData = data;
      droppedX = x;
      droppedY = y;
    };
  }

  // Sends a drag event to `target` at `pos` (its own pixels); true when it was accepted.
  bool Send(QWidget* target, QEvent::Type type, QPoint pos) {
    if (type == QEvent::DragEnter) {
      QDragEnterEvent e(pos, Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
      QCoreApplication::sendEvent(target, &e);
      return e.isAccepted();
    }
    if (type == QEvent::DragMove) {
      QDragMoveEvent e(pos, Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
      QCoreApplication::sendEvent(target, &e);
      return e.isAccepted();
    }
    QDropEvent e(QPointF(pos), Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &e);
    return e.isAccepted();
  }
};

// Drags started from the view ask for the platform's copy drag unless told otherwise; no control
// takes drops before a handler is assigned; the picture box's hint setting follows the parent's
// until it is set itself.
TEST(ViewDragPropertiesTest, Defaults) {
  TPGImage view;
  EXPECT_EQ(view.PicBoxDragCursor(), Qt::DragCopyCursor);
  EXPECT_EQ(view.DragCursor(), Qt::DragCopyCursor);
  EXPECT_FALSE(view.PicBox()->acceptDrops());
  EXPECT_FALSE(view.viewport()->acceptDrops());
  EXPECT_TRUE(view.PicBoxParentShowHint());
  view.SetPicBoxShowHint(true);
  EXPECT_FALSE(view.PicBoxParentShowHint());
}

TEST_F(ViewDragTest, PicBoxHandlersGetPictureBoxPositionsAndTheirAnswerHolds) {
  AssignPicBoxHandlers();
  Show();
  QWidget* box = view->PicBox();
  ASSERT_TRUE(box->acceptDrops());
  ASSERT_NE(box->pos(), QPoint(0, 0));

  EXPECT_TRUE(Send(box, QEvent::DragEnter, {12, 7}));
  EXPECT_TRUE(Send(box, QEvent::DragMove, {20, 9}));
  QDragLeaveEvent leave;
  QCoreApplication::sendEvent(box, &leave);
  ASSERT_EQ(overs.size(), 3u);
  EXPECT_EQ(overs[0].data, &files);
  EXPECT_EQ(overs[0].x, 12);
  EXPECT_EQ(overs[0].y, 7);
  EXPECT_EQ(overs[0].state, dsDragEnter);
  EXPECT_EQ(overs[1].x, 20);
  EXPECT_EQ(overs[1].state, dsDragMove);
  EXPECT_EQ(overs[2].data, nullptr);  // the leave repeats the last position
  EXPECT_EQ(overs[2].x, 20);
  EXPECT_EQ(overs[2].y, 9);
  EXPECT_EQ(overs[2].state, dsDragLeave);

  EXPECT_TRUE(Send(box, QEvent::DragEnter, {30, 40}));
  EXPECT_TRUE(Send(box, QEvent::Drop, {31, 41}));
  EXPECT_EQ(droppedData, &files);
  EXPECT_EQ(droppedX, 31);
  EXPECT_EQ(droppedY, 41);
  EXPECT_EQ(window.drops, 0);  // the picture box took it

  // A refused drag is not taken by the picture box: it passes on to the window.
  acceptAnswer = false;
  overs.clear();
  EXPECT_TRUE(Send(box, QEvent::DragEnter, {5, 5}));
  ASSERT_EQ(overs.size(), 1u);
  EXPECT_EQ(window.enters, 1);
  QDragLeaveEvent end;
  QCoreApplication::sendEvent(box, &end);
}

TEST_F(ViewDragTest, WithoutAHandlerDropsReachTheWindow) {
  Show();
  QWidget* box = view->PicBox();
  EXPECT_FALSE(box->acceptDrops());
  view->PicBoxOnDragDrop = [this](const void*, const QMimeData*, int32_t, int32_t) { droppedX = 0; };

  // The way a drag from outside arrives: at the window, which picks its target.
  QWindow* handle = window.windowHandle();
  ASSERT_NE(handle, nullptr);
  const QPoint inBox = box->mapTo(&window, QPoint(10, 10));
  {
    QDragEnterEvent e(inBox, Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(handle, &e);
    EXPECT_TRUE(e.isAccepted());
  }
  {
    QDropEvent e(QPointF(inBox), Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(handle, &e);
  }
  EXPECT_EQ(window.enters, 1);
  EXPECT_EQ(window.drops, 1);
  EXPECT_EQ(droppedX, -1);
}

TEST_F(ViewDragTest, HandlerAssignedAfterShowingTakesPartInTheNextDrag) {
  Show();
  AssignPicBoxHandlers();
  QWindow* handle = window.windowHandle();
  ASSERT_NE(handle, nullptr);
  QWidget* box = view->PicBox();
  const QPoint inBox = box->mapTo(&window, QPoint(10, 11));
  {
    QDragEnterEvent e(inBox, Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(handle, &e);
    EXPECT_TRUE(e.isAccepted());
  }
  {
    QDropEvent e(QPointF(inBox), Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(handle, &e);
  }
  ASSERT_EQ(overs.size(), 1u);
  EXPECT_EQ(overs[0].x, 10);
  EXPECT_EQ(overs[0].y, 11);
  EXPECT_EQ(droppedX, 10);
  EXPECT_EQ(droppedY, 11);
  EXPECT_EQ(window.drops, 0);
}

TEST_F(ViewDragTest, ViewOwnHandlersUseClientPixels) {
  std::vector<TOverCall> viewOvers;
  view->OnDragOver = [&](const void*, const QMimeData* data, int32_t x, int32_t y, TDragState state,
                         bool& accept) {
    viewOvers.push_back({data, x, y, state});
    accept = true;
  };
  int drops = 0;
  view->OnDragDrop = [&](const void*, const QMimeData*, int32_t x, int32_t y) {
    ++drops;
    EXPECT_EQ(x, 3);
    EXPECT_EQ(y, 4);
  };
  Show();
  ASSERT_TRUE(view->viewport()->acceptDrops());
  EXPECT_FALSE(view->PicBox()->acceptDrops());
  EXPECT_TRUE(Send(view->viewport(), QEvent::DragEnter, {2, 3}));
  EXPECT_TRUE(Send(view->viewport(), QEvent::Drop, {3, 4}));
  ASSERT_EQ(viewOvers.size(), 1u);
  EXPECT_EQ(viewOvers[0].x, 2);
  EXPECT_EQ(viewOvers[0].y, 3);
  EXPECT_EQ(drops, 1);
  EXPECT_EQ(window.drops, 0);
}

void Mouse(QWidget* w, QEvent::Type type, QPoint pos, Qt::MouseButton button, Qt::MouseButtons buttons) {
  QMouseEvent e(type, QPointF(pos), QPointF(w->mapToGlobal(pos)), button, buttons, Qt::NoModifier);
  QApplication::sendEvent(w, &e);
}

TEST_F(ViewDragTest, AutomaticModeAsksOnStartDragAfterTheDragDistance) {
  Show();
  view->SetActionMode(amCreateSelection);
  view->SetPicBoxDragMode(dmAutomatic);
  int starts = 0;
  int downs = 0;
  int clicks = 0;
  view->PicBoxOnStartDrag = [&](const void*, QMimeData& data, bool& cancel) {
    ++starts;
    data.setText("slice");
    cancel = true;
  };
  view->PicBoxOnMouseDown = [&](const void*, TMouseButton, TShiftState, int32_t, int32_t) { ++downs; };
  view->PicBoxOnClick = [&](const void*) { ++clicks; };
  QWidget* box = view->PicBox();
  const int distance = QApplication::startDragDistance();

  Mouse(box, QEvent::MouseButtonPress, {10, 10}, Qt::LeftButton, Qt::LeftButton);
  Mouse(box, QEvent::MouseMove, {10 + distance - 1, 10}, Qt::NoButton, Qt::LeftButton);
  EXPECT_EQ(starts, 0);
  Mouse(box, QEvent::MouseMove, {10 + distance + 5, 10}, Qt::NoButton, Qt::LeftButton);
  Mouse(box, QEvent::MouseMove, {10 + distance + 9, 12}, Qt::NoButton, Qt::LeftButton);
  EXPECT_EQ(starts, 1);  // once per press
  Mouse(box, QEvent::MouseButtonRelease, {10 + distance + 9, 12}, Qt::LeftButton, Qt::NoButton);
  EXPECT_EQ(downs, 0);  // the left press belongs to the drag: no selection, no mouse-down
  EXPECT_EQ(clicks, 0);
  EXPECT_FALSE(view->Selection());
  EXPECT_EQ(view->DragKind(), dkNone);

  // A press without a move is still a click; the right button keeps its normal handling.
  Mouse(box, QEvent::MouseButtonPress, {10, 10}, Qt::LeftButton, Qt::LeftButton);
  Mouse(box, QEvent::MouseButtonRelease, {10, 10}, Qt::LeftButton, Qt::NoButton);
  EXPECT_EQ(clicks, 1);
  Mouse(box, QEvent::MouseButtonPress, {10, 10}, Qt::RightButton, Qt::RightButton);
  Mouse(box, QEvent::MouseButtonRelease, {10, 10}, Qt::RightButton, Qt::NoButton);
  EXPECT_EQ(downs, 1);

  // Back in manual mode the left button selects again.
  view->SetPicBoxDragMode(dmManual);
  Mouse(box, QEvent::MouseButtonPress, {10, 10}, Qt::LeftButton, Qt::LeftButton);
  Mouse(box, QEvent::MouseMove, {40, 30}, Qt::NoButton, Qt::LeftButton);
  Mouse(box, QEvent::MouseButtonRelease, {40, 30}, Qt::LeftButton, Qt::NoButton);
  EXPECT_EQ(starts, 1);
  EXPECT_TRUE(view->Selection());
}

TEST_F(ViewDragTest, RefusedDragOverThePictureBoxIsDroppedOnTheWindow) {
  AssignPicBoxHandlers();
  acceptAnswer = false;
  Show();
  QWindow* handle = window.windowHandle();
  const QPoint inBox = view->PicBox()->mapTo(&window, QPoint(10, 11));
  {
    QDragEnterEvent e(inBox, Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(handle, &e);
    EXPECT_TRUE(e.isAccepted());
  }
  {
    QDragMoveEvent e(inBox + QPoint(1, 1), Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(handle, &e);
    EXPECT_TRUE(e.isAccepted());
  }
  {
    QDropEvent e(QPointF(inBox + QPoint(1, 1)), Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(handle, &e);
  }
  EXPECT_GE(overs.size(), 1u);
  EXPECT_EQ(window.drops, 1);
  EXPECT_EQ(droppedX, -1);
}

}  // namespace
}  // namespace pg
