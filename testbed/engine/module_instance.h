// The stand-in engine's own module (flutter_windows.dll), for the window classes it registers.
#ifndef TESTBED_ENGINE_MODULE_INSTANCE_H_
#define TESTBED_ENGINE_MODULE_INSTANCE_H_

#include <windows.h>

namespace testbed {

// The module that holds this code, found by an address inside it.
inline HINSTANCE ModuleInstance() {
  HMODULE module = nullptr;
  GetModuleHandleExW(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCWSTR>(&ModuleInstance), &module);
  return module;
}

}  // namespace testbed

#endif  // TESTBED_ENGINE_MODULE_INSTANCE_H_
