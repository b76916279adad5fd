#include "client/flutter_view.h"

namespace flutter {

FlutterView::FlutterView(FlutterDesktopViewRef view_handle) : view(view_handle) {}

FlutterView::~FlutterView() = default;

HWND FlutterView::GetHWND() const { return FlutterDesktopViewGetHWND(view); }

}  // namespace flutter
