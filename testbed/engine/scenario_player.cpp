#include "testbed/engine/scenario_player.h"

#include <cstdio>
#include <utility>

#include "testbed/engine/module_instance.h"
#include "testbed/engine/testbed_control.h"
#include "testbed/engine/testbed_state.h"

namespace testbed {

namespace {

constexpr wchar_t kPlayerClassName[] = L"VeskaroScenarioPlayer";
constexpr UINT kStepMessage = WM_APP + 0x52;
constexpr UINT_PTR kResumeTimerId = 1;
constexpr UINT_PTR kPollTimerId = 2;
constexpr UINT kPollIntervalMs = 20;

std::wstring Wide(const std::string& text) {
  const int length =
      MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(length > 0 ? length : 0), L'\0');
  if (length > 0) {
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &wide[0], length);
  }
  return wide;
}

std::string Narrow(const std::wstring& text) {
  const int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<size_t>(length > 0 ? length : 0), '\0');
  if (length > 0) {
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &narrow[0], length,
                        nullptr, nullptr);
  }
  return narrow;
}

// Wine maps the Unix root to Z:, so a Unix path from the test works as a Windows one.
std::wstring ResolvePath(std::wstring path) {
  if (path.size() >= 2 && path[0] == L'/' && path[1] != L'/') {
    path.insert(0, L"Z:");
  }
  return path;
}

std::wstring Environment(const wchar_t* name) {
  const DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
  if (size == 0) {
    return std::wstring();
  }
  std::wstring value(size, L'\0');
  const DWORD length = GetEnvironmentVariableW(name, &value[0], size);
  value.resize(length < size ? length : 0);
  return value;
}

bool ReadLines(const std::wstring& path, std::vector<std::string>* lines) {
  FILE* file = _wfopen(path.c_str(), L"rb");
  if (file == nullptr) {
    return false;
  }
  std::string content;
  char buffer[4096];
  size_t count = 0;
  while ((count = std::fread(buffer, 1, sizeof(buffer), file)) > 0) {
    content.append(buffer, count);
  }
  const bool failed = std::ferror(file) != 0;
  std::fclose(file);
  if (failed) {
    return false;
  }
  if (content.compare(0, 3, "\xEF\xBB\xBF") == 0) {
    content.erase(0, 3);
  }
  size_t begin = 0;
  while (begin < content.size()) {
    size_t end = content.find('\n', begin);
    if (end == std::string::npos) {
      end = content.size();
    }
    std::string line = content.substr(begin, end - begin);
    if (!line.empty() && line.back() == '\r') {
      line.pop_back();
    }
    lines->push_back(std::move(line));
    begin = end + 1;
  }
  return true;
}

struct HeapBytes {
  size_t in_use = 0;
  size_t free = 0;  // committed, not in use
};

// Bytes in every heap of the process: the host's, the stand-in's and Wine's own.
HeapBytes CountHeapBytes() {
  std::vector<HANDLE> heaps(GetProcessHeaps(0, nullptr) + 8);  // room for a few new ones
  heaps.resize(GetProcessHeaps(static_cast<DWORD>(heaps.size()), heaps.data()));
  HeapBytes bytes;
  for (HANDLE heap : heaps) {
    if (!HeapLock(heap)) {
      continue;
    }
    PROCESS_HEAP_ENTRY entry = {};
    while (HeapWalk(heap, &entry)) {
      if ((entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) != 0) {
        bytes.in_use += entry.cbData;
      } else if ((entry.wFlags & (PROCESS_HEAP_REGION | PROCESS_HEAP_UNCOMMITTED_RANGE)) == 0) {
        bytes.free += entry.cbData;
      }
    }
    HeapUnlock(heap);
  }
  return bytes;
}

int64_t Microseconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return (to.QuadPart - from.QuadPart) * 1000000 / frequency.QuadPart;
}

// The host's top-level window: the root ancestor of the newest view.
HWND TopLevelWindow() {
  const State& state = GetState();
  if (state.controllers.empty() || state.controllers.back()->view.hwnd == nullptr) {
    return nullptr;
  }
  return GetAncestor(state.controllers.back()->view.hwnd, GA_ROOT);
}

bool RegisterPlayerClass() {
  static const bool registered = [] {
    WNDCLASSEXW player = {};
    player.cbSize = sizeof(player);
    player.lpfnWndProc = DefWindowProcW;
    player.hInstance = ModuleInstance();
    player.lpszClassName = kPlayerClassName;
    return RegisterClassExW(&player) != 0;
  }();
  return registered;
}

}  // namespace

ScenarioPlayer::ScenarioPlayer(std::wstring scenario_path, std::wstring transcript_path)
    : scenario_path(ResolvePath(std::move(scenario_path))),
      transcript_path(ResolvePath(std::move(transcript_path))) {}

ScenarioPlayer::~ScenarioPlayer() = default;

void ScenarioPlayer::Begin() {
  if (begun) {
    return;
  }
  begun = true;
  if (!transcript_path.empty()) {
    transcript.Open(Narrow(transcript_path));
  }
  transcript.Start();
  if (!ReadLines(scenario_path, &lines)) {
    std::fprintf(stderr, "testbed: cannot open scenario file %s\n", Narrow(scenario_path).c_str());
    std::fflush(stderr);
    transcript.Error(0, "cannot open scenario file " + Narrow(scenario_path));
    // Nothing to play: say so, so that a test following the transcript need not time out.
    transcript.End();
    Finish();
    return;
  }
  // A message-only window of our own carries the timers, so that everything runs on the UI
  // thread from the host's message loop, outside the first-frame callback.
  if (RegisterPlayerClass()) {
    window.Reset(CreateWindowExW(0, kPlayerClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                 ModuleInstance(), nullptr));
  }
  if (!window) {
    transcript.Error(0, "cannot create the player's window");
    Finish();
    return;
  }
  SetWindowLongPtrW(window.Get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  SetWindowLongPtrW(window.Get(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&WindowProc));
  PostMessageW(window.Get(), kStepMessage, 0, 0);
}

LRESULT CALLBACK ScenarioPlayer::WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* player = reinterpret_cast<ScenarioPlayer*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (player != nullptr && !player->finished) {
    if (message == kStepMessage) {
      player->Step();
      return 0;
    }
    if (message == WM_TIMER) {
      player->OnTimer(wparam);
      return 0;
    }
  }
  return DefWindowProcW(hwnd, message, wparam, lparam);
}

void ScenarioPlayer::Step() {
  // A host that pumped messages inside a handler must not start a second pass.
  if (stepping || finished) {
    return;
  }
  stepping = true;
  bool go_on = true;
  while (go_on && next_line < lines.size()) {
    const int line = static_cast<int>(++next_line);
    ScenarioCommand command;
    std::string error;
    if (!ParseScenarioCommand(lines[next_line - 1], &command, &error)) {
      transcript.Error(line, error);
      continue;
    }
    go_on = Execute(line, command);
  }
  stepping = false;
  if (go_on && !finished) {
    transcript.End();
    Finish();
  }
}

bool ScenarioPlayer::Execute(int line, const ScenarioCommand& command) {
  switch (command.kind) {
    case ScenarioCommand::Kind::kNothing:
      return true;
    case ScenarioCommand::Kind::kSend:
      Deliver(line, command);
      return true;
    case ScenarioCommand::Kind::kWait:
      if (SetTimer(window.Get(), kResumeTimerId, static_cast<UINT>(command.milliseconds),
                   nullptr) == 0) {
        transcript.Error(line, "cannot start the wait timer");
        return true;
      }
      return false;
    case ScenarioCommand::Kind::kAwait:
      await_line = line;
      await_text = command.path;
      await_path = ResolvePath(Wide(command.path));
      await_deadline = GetTickCount64() + static_cast<ULONGLONG>(command.milliseconds);
      if (AwaitSatisfied()) {
        return true;
      }
      if (SetTimer(window.Get(), kPollTimerId, kPollIntervalMs, nullptr) == 0) {
        transcript.Error(line, "cannot start the await timer");
        return true;
      }
      return false;
    case ScenarioCommand::Kind::kPost: {
      HWND top = TopLevelWindow();
      if (top == nullptr) {
        transcript.Error(line, "no top-level window to post to");
        return true;
      }
      if (!PostMessageW(top, command.message, static_cast<WPARAM>(command.wparam),
                        static_cast<LPARAM>(command.lparam))) {
        transcript.Error(line, "PostMessageW failed");
        return true;
      }
      transcript.Post(command.message, command.wparam, command.lparam);
      return true;
    }
    case ScenarioCommand::Kind::kMark:
      transcript.Mark(command.text);
      return true;
    case ScenarioCommand::Kind::kGamma:
      if (DisplayGammaAct(command.text, command.action)) {
        // When it happened, for the test that asked.
        transcript.Mark("gamma " + command.text + " " +
                        (command.action == DisplayGammaAction::kReset    ? "reset"
                         : command.action == DisplayGammaAction::kRefuse ? "refuse"
                                                                         : "accept"));
      } else {
        transcript.Error(line, "no display gamma model (TESTBED_DISPLAY_GAMMA) or no room");
      }
      return true;
    case ScenarioCommand::Kind::kMemory: {
      size_t scenario_bytes = lines.capacity() * sizeof(std::string);
      for (const std::string& text : lines) {
        scenario_bytes += text.capacity();
      }
      const HeapBytes heap = CountHeapBytes();
      transcript.Memory(RecordBytes() + scenario_bytes, heap.in_use, heap.free);
      return true;
    }
    case ScenarioCommand::Kind::kClose: {
      HWND top = TopLevelWindow();
      if (top == nullptr || !PostMessageW(top, WM_CLOSE, 0, 0)) {
        transcript.Error(line, "no top-level window to close");
      } else {
        transcript.Close();
      }
      Finish();
      return false;
    }
  }
  return true;
}

void ScenarioPlayer::Deliver(int line, const ScenarioCommand& command) {
  // The stand-in reads nothing from a null pointer with a zero size, but keep it valid.
  static const uint8_t kNoBytes = 0;
  const uint8_t* data = command.bytes.empty() ? &kNoBytes : command.bytes.data();
  LARGE_INTEGER before;
  LARGE_INTEGER after;
  QueryPerformanceCounter(&before);
  const int32_t ticket = TestbedDeliverMessage(command.channel.c_str(), data, command.bytes.size());
  QueryPerformanceCounter(&after);
  if (ticket < 0) {
    transcript.Error(line, "no handler on channel " + command.channel + " (or the engine is gone)");
    return;
  }
  size_t size = 0;
  const uint8_t* reply = nullptr;
  Transcript::Answer answer = Transcript::Answer::kNone;
  switch (TestbedResponse(ticket)) {
    case kTestbedResponseEmpty:
      answer = Transcript::Answer::kEmpty;
      break;
    case kTestbedResponseBytes:
      answer = Transcript::Answer::kBytes;
      reply = TestbedResponseData(ticket, &size);
      break;
    default:
      break;
  }
  transcript.Reply(line, command.channel, answer, reply, size);
  transcript.Handled(line, Microseconds(before, after));
  // Read and answered, with no other answer outstanding: the record and its buffer are free
  // for the next message, so that a long scenario does not grow the stand-in.
  if (answer != Transcript::Answer::kNone && ticket == 0) {
    TestbedRecycleResponses();
  }
}

bool ScenarioPlayer::AwaitSatisfied() {
  if (GetFileAttributesW(await_path.c_str()) == INVALID_FILE_ATTRIBUTES) {
    return false;
  }
  const bool deleted = DeleteFileW(await_path.c_str()) != 0;
  transcript.Await(await_text);
  if (!deleted) {
    // Left in place, it would satisfy the next await on the same path at once.
    transcript.Error(await_line, "cannot delete " + await_text);
  }
  return true;
}

void ScenarioPlayer::OnTimer(UINT_PTR id) {
  if (id == kResumeTimerId) {
    KillTimer(window.Get(), kResumeTimerId);
    Step();
  } else if (id == kPollTimerId) {
    if (!AwaitSatisfied()) {
      if (GetTickCount64() < await_deadline) {
        return;
      }
      transcript.Error(await_line, "await timed out: " + await_text);
    }
    KillTimer(window.Get(), kPollTimerId);
    Step();
  }
}

void ScenarioPlayer::Finish() {
  finished = true;
  if (window) {
    KillTimer(window.Get(), kResumeTimerId);
    KillTimer(window.Get(), kPollTimerId);
    window.Reset();
  }
}

namespace {

// Arms the player at load time when a scenario is named; it starts after the first frame.
class ScenarioHook {
 public:
  ScenarioHook() {
    std::wstring scenario = Environment(L"TESTBED_SCENARIO");
    if (scenario.empty()) {
      return;
    }
    std::wstring transcript = Environment(L"TESTBED_TRANSCRIPT");
    GetState().after_first_frame = [scenario, transcript] {
      // Lives until the process ends: its window's timers may still be due while the host
      // shuts down, and destroying windows during unload is unsafe.
      static ScenarioPlayer* player = new ScenarioPlayer(scenario, transcript);
      player->Begin();
    };
  }
};

ScenarioHook hook;

}  // namespace

}  // namespace testbed
