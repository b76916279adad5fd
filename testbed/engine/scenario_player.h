// The scripted user interface of the stand-in engine (Windows build): plays a scenario
// file on the UI thread once the first frame is drawn, delivering messages (raw bytes) to
// the host, waiting on timers and signal files, posting window messages, and writing the
// reply bytes, the time each delivery took and, when asked, what the process's memory holds
// to a transcript.
//
// Environment: TESTBED_SCENARIO names the scenario file, TESTBED_TRANSCRIPT the transcript
// (both UTF-8 or Windows paths; a path starting with '/' is taken as Wine's Z: drive).
// Nothing happens when TESTBED_SCENARIO is unset.
#ifndef TESTBED_ENGINE_SCENARIO_PLAYER_H_
#define TESTBED_ENGINE_SCENARIO_PLAYER_H_

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/unique_any.h"
#include "testbed/engine/scenario_command.h"
#include "testbed/engine/transcript.h"

namespace testbed {

class ScenarioPlayer {
 public:
  ScenarioPlayer(std::wstring scenario_path, std::wstring transcript_path);
  virtual ~ScenarioPlayer();

  ScenarioPlayer(const ScenarioPlayer&) = delete;
  ScenarioPlayer& operator=(const ScenarioPlayer&) = delete;

  // Opens the files and schedules the first line on the message loop. Once only.
  void Begin();

 private:
  struct WindowTraits {
    using Handle = HWND;
    static Handle Null() { return nullptr; }
    void Close(Handle window) const { DestroyWindow(window); }
  };

  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);

  // Plays lines until one has to wait for a timer, or the scenario is over.
  void Step();
  // False when playing has to pause (a timer resumes it) or has ended.
  bool Execute(int line, const ScenarioCommand& command);
  void Deliver(int line, const ScenarioCommand& command);
  bool AwaitSatisfied();
  void OnTimer(UINT_PTR id);
  void Finish();

  std::wstring scenario_path;
  std::wstring transcript_path;
  Transcript transcript;
  std::vector<std::string> lines;
  size_t next_line = 0;
  UniqueAny<WindowTraits> window;
  bool begun = false;
  bool stepping = false;
  bool finished = false;

  // The await in progress.
  int await_line = 0;
  std::string await_text;
  std::wstring await_path;
  ULONGLONG await_deadline = 0;
};

}  // namespace testbed

#endif  // TESTBED_ENGINE_SCENARIO_PLAYER_H_
