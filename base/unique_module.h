// Owner of a loaded library, freed with FreeLibrary.
#ifndef BASE_UNIQUE_MODULE_H_
#define BASE_UNIQUE_MODULE_H_

#include <windows.h>

#include "base/unique_any.h"

struct ModuleTraits {
  using Handle = HMODULE;
  static Handle Null() { return nullptr; }
  void Close(Handle module) const { FreeLibrary(module); }
};

using UniqueModule = UniqueAny<ModuleTraits>;

#endif  // BASE_UNIQUE_MODULE_H_
