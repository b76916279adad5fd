// Creates the engine and its view controller; owns the view and a share of the engine.
#ifndef CLIENT_FLUTTER_VIEW_CONTROLLER_H_
#define CLIENT_FLUTTER_VIEW_CONTROLLER_H_

#include <cstdint>
#include <memory>
#include <optional>

#include "client/embedder.h"
#include "client/engine_project.h"
#include "client/flutter_engine.h"
#include "client/flutter_view.h"

namespace flutter {

class FlutterViewController {
 public:
  // On failure writes a line on stderr and leaves the view null.
  FlutterViewController(int32_t width, int32_t height, const EngineProject& project);
  virtual ~FlutterViewController();

  FlutterViewController(const FlutterViewController&) = delete;
  FlutterViewController& operator=(const FlutterViewController&) = delete;

  FlutterEngine* GetEngine() const { return engine.get(); }
  // Null when the engine refused to create the view controller.
  FlutterView* GetView() const { return view.get(); }

  void ForceRedraw();

  // The engine's (or a plug-in's) answer when it consumed the message, otherwise empty.
  std::optional<LRESULT> HandleTopLevelWindowProc(HWND hwnd, UINT message, WPARAM wparam,
                                                  LPARAM lparam);

 private:
  FlutterDesktopViewControllerRef controller = nullptr;
  std::shared_ptr<FlutterEngine> engine;
  std::unique_ptr<FlutterView> view;
};

}  // namespace flutter

#endif  // CLIENT_FLUTTER_VIEW_CONTROLLER_H_
