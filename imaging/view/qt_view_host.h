// TPGImageHost: the platform side of the view's toolkit-free core (TPGImageCore), on Qt: the
// view's size and frame, its scroll bars, the picture box's placement, invalidating and repainting,
// mouse capture, the frame and auto-scroll timers and the cursor.
#pragma once

#include <QRegion>

#include "imaging/view/view_core.h"

namespace pg {

class TPGImage;

class TPGImageHost : public TViewHost {
 public:
  explicit TPGImageHost(TPGImage& view) : view_(view) {}

  int32_t ViewWidth() const override;
  int32_t ViewHeight() const override;
  int32_t FrameWidth() const override;
  int32_t HorzBarHeight() const override;
  int32_t VertBarWidth() const override;
  TScrollInfo ScrollInfo() const override;
  void SetScrollPos(int32_t horz, int32_t vert) override;
  void ApplyLayout(const TPGRect& picBox, const TScrollInfo& s) override;
  void InvalidateRect(const TPGRect& r) override;
  void InvalidateView() override;
  // The whole client area changed (scrolling): an immediate repaint must cover all of it.
  void MarkAllPending();
  void InvalidatePicBox() override;
  void RepaintNow() override;
  void CaptureMouse() override;
  void ReleaseMouse() override;
  void StartAutoScrollTimer() override;
  void StopAutoScrollTimer() override;
  void StartFrameTimer() override;
  void StopFrameTimer() override;
  bool GlobalCursorSet() const override;
  void SetDragCursor(TPGCursor cursor) override;

 private:
  TPGImage& view_;
  TScrollInfo scroll_;
  QRegion pending_;  // invalidated since the last immediate repaint
};

}  // namespace pg
