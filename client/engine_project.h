// What the engine runs: asset, ICU-data and application-library paths, the entry point and
// its arguments.
#ifndef CLIENT_ENGINE_PROJECT_H_
#define CLIENT_ENGINE_PROJECT_H_

#include <cstdint>
#include <string>
#include <vector>

namespace flutter {

class EngineProject {
 public:
  // Paths are the directory joined with "\flutter_assets", "\icudtl.dat" and "\app.so", as
  // written: nothing is made absolute and the disk is not consulted.
  explicit EngineProject(const std::wstring& path);

  // Replaces the argument list as a whole.
  void SetEntrypointArguments(std::vector<std::string> arguments);

  std::wstring assets_path;
  std::wstring icu_data_path;
  std::wstring app_library_path;
  std::string entrypoint;                         // UTF-8; empty runs the default entry point
  std::vector<std::string> entrypoint_arguments;  // UTF-8, in order
  // Passed through unchanged as the engine properties' last two fields.
  int32_t option_a = 0;
  int32_t option_b = 0;
};

}  // namespace flutter

#endif  // CLIENT_ENGINE_PROJECT_H_
