// Owner of a kernel handle released with CloseHandle (the single-instance mutex).
#ifndef APP_UNIQUE_HANDLE_H_
#define APP_UNIQUE_HANDLE_H_

#include <windows.h>

class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(HANDLE owned) : handle(owned) {}
  ~UniqueHandle() { Close(); }

  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;

  HANDLE Get() const { return handle; }
  explicit operator bool() const { return handle != nullptr; }

  // Closes the handle now; the entry releases the mutex before the window object dies.
  void Close() {
    if (handle != nullptr) {
      CloseHandle(handle);
      handle = nullptr;
    }
  }

 private:
  HANDLE handle = nullptr;
};

#endif  // APP_UNIQUE_HANDLE_H_
