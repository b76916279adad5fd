// Owner of a kernel handle closed with CloseHandle (mutex, event, process, thread).
#ifndef BASE_UNIQUE_HANDLE_H_
#define BASE_UNIQUE_HANDLE_H_

#include <windows.h>

#include "base/unique_any.h"

struct KernelHandleTraits {
  using Handle = HANDLE;
  // The creation calls this owner takes from return null on failure, not
  // INVALID_HANDLE_VALUE.
  static Handle Null() { return nullptr; }
  void Close(Handle handle) const { CloseHandle(handle); }
};

using UniqueHandle = UniqueAny<KernelHandleTraits>;

#endif  // BASE_UNIQUE_HANDLE_H_
