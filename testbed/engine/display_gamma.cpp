#include "testbed/engine/display_gamma.h"

#include <windows.h>

#include <array>
#include <cstdio>
#include <cstring>

#include "testbed/engine/import_hook.h"

namespace testbed {

namespace {

constexpr size_t kChannelEntries = 256;
constexpr size_t kEntries = 3 * kChannelEntries;
// Fixed tables: the soak's memory figures must not move with the model's.
constexpr size_t kMaxDisplays = 8;
constexpr size_t kMaxContexts = 16;

struct Display {
  std::string name;
  std::array<WORD, kEntries> ramp = {};
  bool refusing = false;
  unsigned writes = 0;
  unsigned refused = 0;

  void Reset() {
    for (size_t i = 0; i < kEntries; ++i) {
      ramp[i] = static_cast<WORD>((i % kChannelEntries) * 257);
    }
  }
};

void Complain(const std::string& text) {
  std::fprintf(stderr, "testbed: display gamma model: %s\n", text.c_str());
  std::fflush(stderr);
}

// Wine refuses a ramp whose channel does not rise from its first entry to its last.
bool Acceptable(const WORD* ramp) {
  for (size_t channel = 0; channel < 3; ++channel) {
    if (ramp[channel * kChannelEntries] >= ramp[channel * kChannelEntries + kChannelEntries - 1]) {
      return false;
    }
  }
  return true;
}

// "DISPLAY2" for \\.\DISPLAY2; "screen" for the whole screen's "DISPLAY".
std::string DisplayName(const wchar_t* driver, const wchar_t* device) {
  std::string name;
  for (const wchar_t* c = device != nullptr ? device : driver; c != nullptr && *c != L'\0'; ++c) {
    name += *c < 0x80 ? static_cast<char>(*c) : '?';
  }
  if (name.rfind("\\\\.\\", 0) == 0) {
    name.erase(0, 4);
  }
  return name.empty() || _stricmp(name.c_str(), "DISPLAY") == 0 ? "screen" : name;
}

class Model {
 public:
  explicit Model(std::string state_path) : state_path(std::move(state_path)) {}

  // The host opens a display's context for one visit at a time: a second one open for the same
  // display means the first was never deleted.
  void Open(HDC dc, const std::string& name) {
    Display* opened = Find(name);
    for (const auto& [open_dc, display] : contexts) {
      if (open_dc != nullptr && display == opened && opened != nullptr) {
        Complain("a second context open for " + name + ": the first was not deleted");
      }
    }
    for (auto& [open_dc, display] : contexts) {
      if (open_dc == nullptr) {
        open_dc = dc;
        display = opened;
        return;
      }
    }
    Complain("more than 16 display contexts open at once");
  }

  void Close(HDC dc) {
    for (auto& [open_dc, display] : contexts) {
      if (open_dc == dc) {
        open_dc = nullptr;
        display = nullptr;
      }
    }
  }

  BOOL Read(HDC dc, WORD* ramp) {
    const Display* display = Of(dc);
    if (display == nullptr || ramp == nullptr) {
      return FALSE;
    }
    std::memcpy(ramp, display->ramp.data(), sizeof(display->ramp));
    return TRUE;
  }

  BOOL Write(HDC dc, const WORD* ramp) {
    Display* display = Of(dc);
    if (display == nullptr || ramp == nullptr) {
      return FALSE;
    }
    const bool taken = !display->refusing && Acceptable(ramp);
    if (taken) {
      std::memcpy(display->ramp.data(), ramp, sizeof(display->ramp));
      ++display->writes;
    } else {
      ++display->refused;
    }
    Save();
    return taken ? TRUE : FALSE;
  }

  bool Act(const std::string& name, DisplayGammaAction action) {
    Display* display = Find(name);
    if (display == nullptr) {
      return false;
    }
    if (action == DisplayGammaAction::kReset) {
      display->Reset();
    } else {
      display->refusing = action == DisplayGammaAction::kRefuse;
    }
    Save();
    return true;
  }

 private:
  // Seen for the first time, a display holds identity.
  Display* Find(const std::string& name) {
    for (size_t i = 0; i < count; ++i) {
      if (displays[i].name == name) {
        return &displays[i];
      }
    }
    if (count == kMaxDisplays) {
      Complain("no room for display " + name);
      return nullptr;
    }
    Display& added = displays[count++];
    added.name = name;
    added.Reset();
    return &added;
  }

  Display* Of(HDC dc) {
    if (dc == nullptr) {
      return nullptr;
    }
    for (const auto& [open_dc, display] : contexts) {
      if (open_dc == dc) {
        return display;
      }
    }
    return Find("screen");
  }

  // Through a rename, so that a test reading the file never sees half of it.
  void Save() const {
    const std::string temporary = state_path + ".new";
    FILE* out = std::fopen(temporary.c_str(), "wb");
    if (out == nullptr) {
      Complain("cannot write " + temporary);
      return;
    }
    for (size_t i = 0; i < count; ++i) {
      const Display& display = displays[i];
      std::fprintf(out, "%s writes %u refused %u refusing %d samples", display.name.c_str(),
                   display.writes, display.refused, display.refusing ? 1 : 0);
      for (size_t channel = 0; channel < 3; ++channel) {
        for (size_t entry = 32; entry < kChannelEntries; entry += 32) {
          std::fprintf(out, " %u", static_cast<unsigned>(display.ramp[channel * 256 + entry]));
        }
      }
      std::fprintf(out, "\n");
    }
    std::fclose(out);
    if (!MoveFileExA(temporary.c_str(), state_path.c_str(), MOVEFILE_REPLACE_EXISTING)) {
      Complain("cannot replace " + state_path);
    }
  }

  std::string state_path;
  std::array<Display, kMaxDisplays> displays;
  size_t count = 0;
  std::array<std::pair<HDC, Display*>, kMaxContexts> contexts = {};
};

// Never freed, nor the hooks undone: the host may still call in while the engine unloads.
Model* model = nullptr;

// The model's own calls to gdi32 go through the engine's imports, which are not redirected.
HDC WINAPI CreateDcHook(LPCWSTR driver, LPCWSTR device, LPCWSTR port, const DEVMODEW* mode) {
  HDC dc = ::CreateDCW(driver, device, port, mode);
  if (dc != nullptr) {
    model->Open(dc, DisplayName(driver, device));
  }
  return dc;
}

BOOL WINAPI DeleteDcHook(HDC dc) {
  model->Close(dc);
  return ::DeleteDC(dc);
}

BOOL WINAPI GetRampHook(HDC dc, LPVOID ramp) { return model->Read(dc, static_cast<WORD*>(ramp)); }

BOOL WINAPI SetRampHook(HDC dc, LPVOID ramp) {
  return model->Write(dc, static_cast<const WORD*>(ramp));
}

}  // namespace

void InstallDisplayGamma(const std::string& state_path) {
  if (model != nullptr) {
    return;
  }
  model = new Model(state_path);
  const ImportHook* hooks[] = {new ImportHook("gdi32.dll", "CreateDCW", &CreateDcHook),
                               new ImportHook("gdi32.dll", "DeleteDC", &DeleteDcHook),
                               new ImportHook("gdi32.dll", "GetDeviceGammaRamp", &GetRampHook),
                               new ImportHook("gdi32.dll", "SetDeviceGammaRamp", &SetRampHook)};
  for (const ImportHook* hook : hooks) {
    if (!hook->Installed()) {
      Complain("the executable does not import one of gdi32's gamma and context functions");
    }
  }
}

bool DisplayGammaAct(const std::string& display, DisplayGammaAction action) {
  return model != nullptr && model->Act(display, action);
}

}  // namespace testbed
