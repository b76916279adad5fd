// The engine's view: the child window that the top-level window adopts as its content.
#ifndef CLIENT_FLUTTER_VIEW_H_
#define CLIENT_FLUTTER_VIEW_H_

#include "client/embedder.h"

namespace flutter {

class FlutterView {
 public:
  // The handle is not owned: the view controller's destruction disposes of it.
  explicit FlutterView(FlutterDesktopViewRef view_handle);
  virtual ~FlutterView();

  FlutterView(const FlutterView&) = delete;
  FlutterView& operator=(const FlutterView&) = delete;

  HWND GetHWND() const;

 private:
  FlutterDesktopViewRef view;
};

}  // namespace flutter

#endif  // CLIENT_FLUTTER_VIEW_H_
