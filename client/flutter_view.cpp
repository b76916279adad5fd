#include "client/flutter_view.h"

namespace flutter {

FlutterView::FlutterView(FlutterDesktopViewRef view) : view(view) {}

FlutterView::~FlutterView() = default;

HWND FlutterView::GetHWND() const { return FlutterDesktopViewGetHWND(view); }

}  // namespace flutter
