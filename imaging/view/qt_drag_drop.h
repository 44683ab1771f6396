// Drag and drop for the image view's two controls, the picture box and the view's client area
// outside it. Each has a TPGDragDrop: as a drag source, under dmAutomatic a left press is kept for
// a drag that starts once the pointer has moved QApplication::startDragDistance(); as a drop
// target, every enter, move and leave is asked of the control's OnDragOver handler and a drop it
// accepted goes to OnDragDrop. A drag the handler refuses, and any drag while none is assigned,
// passes on to the parent widgets. The handlers are handed in with every call, so handlers
// assigned later take part at once.
#pragma once

#include <QObject>
#include <QPoint>
#include <QPointer>
#include <cstdint>
#include <functional>

class QDropEvent;
class QEvent;
class QMimeData;
class QWidget;
class QWindow;

namespace pg {

// Whether a left-button drag starts a drag-and-drop operation by itself.
enum TDragMode : uint8_t { dmManual, dmAutomatic };
// The phase of a drag over a control, as OnDragOver reports it.
enum TDragState : uint8_t { dsDragEnter, dsDragLeave, dsDragMove };

// A drag is about to start. `data` is the drag's (empty) mime data for the handler to fill;
// setting `cancel` stops the drag before it starts.
using TPGStartDragEvent = std::function<void(const void* sender, QMimeData& data, bool& cancel)>;
// A drag is over the control: `data` is what it carries (nullptr for dsDragLeave, which repeats
// the last position), (x, y) the pointer. `accept` comes in false; setting it to true accepts
// the drag (with its proposed action), which makes a drop here possible.
using TPGDragOverEvent = std::function<void(const void* sender, const QMimeData* data, int32_t x, int32_t y,
                                            TDragState state, bool& accept)>;
// An accepted drag was dropped at (x, y).
using TPGDragDropEvent = std::function<void(const void* sender, const QMimeData* data, int32_t x, int32_t y)>;
// A drag started here ended: `accepted` tells whether a target took the drop; (x, y) is the
// pointer at the end in the source control's pixels.
using TPGEndDragEvent = std::function<void(const void* sender, bool accepted, int32_t x, int32_t y)>;

class TPGDragDrop {
 public:
  // `sender` is what the handlers receive as their Sender.
  explicit TPGDragDrop(const void* sender) : sender_(sender) {}

  TDragMode Mode() const { return mode_; }
  void SetMode(TDragMode mode);
  // The cursor of a drag started here. Qt::DragCopyCursor, Qt::DragMoveCursor and
  // Qt::DragLinkCursor ask for the platform's own copy, move or link drag; another shape is shown
  // in their place when the platform provides a picture for it.
  Qt::CursorShape Cursor() const { return cursor_; }
  void SetCursor(Qt::CursorShape cursor) { cursor_ = cursor; }

  // ---- As a drag source (positions in the control's pixels) --------------------------------
  // A button went down; true when the press is kept for a drag (no other handling then).
  bool Press(Qt::MouseButton button, QPoint pos);
  // The pointer moved; true when the move belongs to a kept press. Once far enough from the
  // press the drag runs (inside this call, to its end) from `widget`.
  bool Move(QWidget* widget, QPoint pos, Qt::MouseButtons buttons, const TPGStartDragEvent& onStart,
            const TPGEndDragEvent& onEnd);
  // A button went up; true when it ends a kept press. `click` tells whether the press stays a
  // click (no drag was started from it).
  bool Release(Qt::MouseButton button, bool& click);

  // ---- As a drop target ----------------------------------------------------------------------
  // Hands a drag enter, move, leave or drop event of the control to the handlers.
  void Event(QEvent* event, const TPGDragOverEvent& onOver, const TPGDragDropEvent& onDrop);

 private:
  void Over(QDropEvent* event, TDragState state, const TPGDragOverEvent& onOver);
  void Leave(QEvent* event, const TPGDragOverEvent& onOver);
  void Drop(QDropEvent* event, const TPGDragDropEvent& onDrop);

  const void* sender_;
  TDragMode mode_ = dmManual;
  Qt::CursorShape cursor_ = Qt::DragCopyCursor;
  bool armed_ = false;  // a left press is kept for the drag until its release
  bool tried_ = false;  // the drag of this press was started (or cancelled) already
  QPoint pressPos_;
  QPoint lastOverPos_;  // last position reported to OnDragOver (for the leave)
};

// Runs `update` whenever a drag arrives in the watched window, before Qt chooses the widget it
// goes to: the view brings its controls' drop acceptance up to date with their handlers there.
class TPGDropWatch : public QObject {
 public:
  explicit TPGDropWatch(std::function<void()> update) : update_(std::move(update)) {}
  ~TPGDropWatch() override;
  void Watch(QWindow* window);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  std::function<void()> update_;
  QPointer<QWindow> window_;
};

}  // namespace pg
