// Redirects one imported function of the process's executable (a test, or the host under
// the stand-in engine) to a replacement for the hook's lifetime, by patching its import
// address table: lets tests see, or stand in for, the calls the product makes.
#ifndef TESTBED_ENGINE_IMPORT_HOOK_H_
#define TESTBED_ENGINE_IMPORT_HOOK_H_

#include <windows.h>

#include <cstring>

class ImportHook {
 public:
  template <typename Function>
  ImportHook(const char* library, const char* function, Function* replacement) {
    auto* base = reinterpret_cast<BYTE*>(GetModuleHandleW(nullptr));
    auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    auto* descriptor = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
    for (; descriptor->Name != 0; ++descriptor) {
      if (_stricmp(reinterpret_cast<const char*>(base + descriptor->Name), library) != 0) {
        continue;
      }
      auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + descriptor->OriginalFirstThunk);
      auto* addresses = reinterpret_cast<IMAGE_THUNK_DATA*>(base + descriptor->FirstThunk);
      for (; names->u1.AddressOfData != 0; ++names, ++addresses) {
        auto* by_name = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
        if (!IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal) &&
            std::strcmp(reinterpret_cast<const char*>(by_name->Name), function) == 0) {
          slot = reinterpret_cast<void**>(&addresses->u1.Function);
          original = *slot;
          Write(reinterpret_cast<void*>(replacement));
          return;
        }
      }
    }
  }

  ~ImportHook() {
    if (slot != nullptr) Write(original);
  }

  ImportHook(const ImportHook&) = delete;
  ImportHook& operator=(const ImportHook&) = delete;

  bool Installed() const { return slot != nullptr; }

  // The function as the system library exports it, for a replacement that passes calls on.
  template <typename Function>
  static Function Original(const wchar_t* library, const char* name) {
    return reinterpret_cast<Function>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(library), name)));
  }

 private:
  void Write(void* target) {
    DWORD protection = 0;
    VirtualProtect(slot, sizeof(void*), PAGE_READWRITE, &protection);
    *slot = target;
    VirtualProtect(slot, sizeof(void*), protection, &protection);
  }

  void** slot = nullptr;
  void* original = nullptr;
};

#endif  // TESTBED_ENGINE_IMPORT_HOOK_H_
