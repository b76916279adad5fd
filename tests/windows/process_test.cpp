// The built bundle, started as a real process: single instance, exit codes, arguments
// reaching the engine. (The package's e2e case reads its version record and manifest.)
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/single_instance.h"
#include "base/unique_handle.h"
#include "testbed/engine/hex_text.h"
#include "tests/windows/host_process.h"

namespace {

using Lines = std::vector<std::string>;

// The bundle the build made, found relative to this test executable.
std::wstring BundleDirectory() {
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  return (std::filesystem::path(self).parent_path() / VESKARO_BUNDLE_FROM_TESTS).lexically_normal();
}

// The lines the stand-in engine wrote at exit (see testbed/engine/process_hooks.cpp) that
// start with prefix, without it.
Lines PropertyLines(const std::wstring& path, const std::string& prefix = "") {
  Lines found;
  std::ifstream in(std::filesystem::path(path), std::ios::binary);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.compare(0, prefix.size(), prefix) == 0) found.push_back(line.substr(prefix.size()));
  }
  return found;
}

class ProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Named after the test: ctest may run several of them at once.
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    properties = temp + std::wstring(L"veskaro_") + std::wstring(name.begin(), name.end());
    DeleteFileW(properties.c_str());
    SetEnvironmentVariableW(L"TESTBED_PROPERTIES_FILE", properties.c_str());
    // Started as from the desktop: there is no console to attach to, and none is wanted.
    FreeConsole();
  }
  void TearDown() override {
    SetEnvironmentVariableW(L"TESTBED_PROPERTIES_FILE", nullptr);
    SetEnvironmentVariableW(L"TESTBED_FAIL_VIEW_CONTROLLER", nullptr);
  }

  std::wstring bundle = BundleDirectory();
  std::wstring executable = bundle + L"\\veskaro_flutter.exe";
  std::wstring properties;
};

TEST_F(ProcessTest, RunsUntilTheWindowClosesWithTheCommandLineAsUtf8) {
  HostProcess host(executable, L"\"with space\" \"say \\\"hi\\\"\" \u00e9 bad\xD800 \"\" last",
                   bundle);
  ASSERT_TRUE(host.Started());
  HWND window = host.WaitForVisibleWindow();
  ASSERT_NE(window, nullptr);
  wchar_t title[64] = {};
  GetWindowTextW(window, title, 64);
  EXPECT_STREQ(title, L"veskaro_flutter");
  // At the origin and size asked for, scaled to the screen's DPI.
  HDC screen = GetDC(nullptr);
  const LONG dpi = GetDeviceCaps(screen, LOGPIXELSX);
  ReleaseDC(nullptr, screen);
  RECT rect = {};
  GetWindowRect(window, &rect);
  EXPECT_EQ(
      std::vector<LONG>({rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top}),
      std::vector<LONG>({10 * dpi / 96, 10 * dpi / 96, 680 * dpi / 96, 460 * dpi / 96}));

  // The loop makes a character of a key. The close waits until the stand-in has seen it: a
  // thread takes sent messages in any wait, so no round trip proves the key left the queue.
  PostMessageW(window, WM_KEYDOWN, 'A', 1);
  HWND view = FindWindowExW(window, nullptr, L"VeskaroStandInView", nullptr);
  EXPECT_TRUE(host.WaitUntil([view] {
    wchar_t text[32] = {};
    GetWindowTextW(view, text, 32);
    return std::wstring(text) == L"characters 1";
  }));
  PostMessageW(window, WM_CLOSE, 0, 0);
  EXPECT_EQ(host.WaitForExit(), 0);
  // An argument that is not valid UTF-16 arrives empty, in its place.
  const Lines expected = {
      "engines 1",
      "assets data\\flutter_assets",
      "argc 6",
      "arg " + testbed::HexText("with space"),
      "arg " + testbed::HexText("say \"hi\""),
      "arg " + testbed::HexText("\xC3\xA9"),
      "arg ",
      "arg ",
      "arg " + testbed::HexText("last"),
      "plugin ScreenRetrieverWindowsPluginCApiRegisterWithRegistrar "
      "ScreenRetrieverWindowsPluginCApi",
      "plugin SystemTrayPluginRegisterWithRegistrar SystemTrayPlugin",
      "plugin WindowManagerPluginRegisterWithRegistrar WindowManagerPlugin",
      "output resyncs 0",
      "view thread in STA 1",
      "characters 1",
  };
  EXPECT_EQ(PropertyLines(properties), expected);
}

TEST_F(ProcessTest, SecondStartBringsTheFirstForward) {
  HostProcess first(executable, L"", bundle);
  ASSERT_TRUE(first.Started());
  HWND window = first.WaitForVisibleWindow();
  ASSERT_NE(window, nullptr);
  ShowWindow(window, SW_MINIMIZE);
  ASSERT_TRUE(IsIconic(window));
  {
    HostProcess second(executable, L"", bundle);
    ASSERT_TRUE(second.Started());
    EXPECT_EQ(second.WaitForExit(), 0);
  }
  EXPECT_FALSE(IsIconic(window));
  EXPECT_TRUE(IsWindowVisible(window));
  EXPECT_EQ(GetForegroundWindow(), window);
  // Not minimised but behind another window: still brought to the foreground.
  HWND other = CreateWindowExW(0, L"STATIC", L"other", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, nullptr,
                               nullptr, GetModuleHandleW(nullptr), nullptr);
  SetForegroundWindow(other);
  ASSERT_EQ(GetForegroundWindow(), other);
  EXPECT_EQ(HostProcess(executable, L"", bundle).WaitForExit(), 0);
  EXPECT_EQ(GetForegroundWindow(), window);
  DestroyWindow(other);
  // The second copy never started an engine, so it made no window.
  EXPECT_EQ(PropertyLines(properties, "engines "), Lines{"0"});

  PostMessageW(window, WM_CLOSE, 0, 0);
  EXPECT_EQ(first.WaitForExit(), 0);
}

TEST_F(ProcessTest, ExitsOneWhenTheNameIsHeldByAnotherKindOfObjectOrTheViewFails) {
  UniqueHandle event(CreateEventW(nullptr, TRUE, FALSE, BuildMutexName(executable).c_str()));
  ASSERT_TRUE(event);
  {
    HostProcess host(executable, L"", bundle);
    ASSERT_TRUE(host.Started());
    EXPECT_EQ(host.WaitForExit(), 1);
  }
  event.Reset();

  SetEnvironmentVariableW(L"TESTBED_FAIL_VIEW_CONTROLLER", L"1");
  HostProcess host(executable, L"", bundle);
  ASSERT_TRUE(host.Started());
  EXPECT_EQ(host.WaitForExit(), 1);
}

}  // namespace
