#include "client/engine_project.h"

#include <utility>

namespace flutter {

EngineProject::EngineProject(const std::wstring& path)
    : assets_path(path + L"\\flutter_assets"),
      icu_data_path(path + L"\\icudtl.dat"),
      app_library_path(path + L"\\app.so") {}

void EngineProject::SetEntrypointArguments(std::vector<std::string> arguments) {
  entrypoint_arguments = std::move(arguments);
}

}  // namespace flutter
