// The built bundle, started as a real process: single instance, exit codes, arguments
// reaching the engine, and the executable's resources.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/single_instance.h"
#include "base/unique_handle.h"
#include "base/unique_module.h"
#include "testbed/engine/hex_text.h"
#include "tests/windows/host_process.h"

namespace {

using Lines = std::vector<std::string>;

std::wstring FullPath(const std::wstring& path) {
  wchar_t buffer[MAX_PATH] = {};
  GetFullPathNameW(path.c_str(), MAX_PATH, buffer, nullptr);
  return buffer;
}

// The bundle the build made, found relative to this test executable.
std::wstring BundleDirectory() {
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  return FullPath(std::filesystem::path(self).parent_path().wstring() + L"\\" +
                  VESKARO_BUNDLE_FROM_TESTS);
}

// Sets an environment variable for the processes started while it lives.
class ScopedEnvironment {
 public:
  ScopedEnvironment(const wchar_t* name, const std::wstring& value) : name(name) {
    SetEnvironmentVariableW(name, value.c_str());
  }
  ~ScopedEnvironment() { SetEnvironmentVariableW(name, nullptr); }
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
  const wchar_t* name;
};

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
  }

  std::wstring bundle = BundleDirectory();
  std::wstring executable = bundle + L"\\veskaro_flutter.exe";
  std::wstring properties;
};

TEST_F(ProcessTest, RunsUntilTheWindowClosesWithTheCommandLineAsUtf8) {
  ScopedEnvironment record(L"TESTBED_PROPERTIES_FILE", properties);
  HostProcess host(executable, L"\"with space\" \"say \\\"hi\\\"\" \u00e9 bad\xD800 \"\" last",
                   bundle);
  ASSERT_TRUE(host.Started());
  HWND window = host.WaitForVisibleWindow();
  ASSERT_NE(window, nullptr);
  wchar_t title[64] = {};
  GetWindowTextW(window, title, 64);
  EXPECT_STREQ(title, L"veskaro_flutter");

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
    ScopedEnvironment record(L"TESTBED_PROPERTIES_FILE", properties);
    HostProcess second(executable, L"", bundle);
    ASSERT_TRUE(second.Started());
    EXPECT_EQ(second.WaitForExit(), 0);
  }
  EXPECT_FALSE(IsIconic(window));
  EXPECT_TRUE(IsWindowVisible(window));
  EXPECT_EQ(GetForegroundWindow(), window);
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

  ScopedEnvironment fail(L"TESTBED_FAIL_VIEW_CONTROLLER", L"1");
  HostProcess host(executable, L"", bundle);
  ASSERT_TRUE(host.Started());
  EXPECT_EQ(host.WaitForExit(), 1);
}

TEST_F(ProcessTest, CopiesAtTwoPathsRunSideBySide) {
  const std::wstring copy = FullPath(bundle + L"\\..\\bundle copy.2");
  for (const wchar_t* folder : {L"", L"\\data", L"\\data\\flutter_assets"}) {
    CreateDirectoryW((copy + folder).c_str(), nullptr);
  }
  for (const wchar_t* file :
       {L"veskaro_flutter.exe", L"flutter_windows.dll", L"screen_retriever_windows_plugin.dll",
        L"system_tray_plugin.dll", L"window_manager_plugin.dll", L"data\\icudtl.dat",
        L"data\\app.so", L"data\\flutter_assets\\AssetManifest.json"}) {
    ASSERT_TRUE(CopyFileW((bundle + L"\\" + file).c_str(), (copy + L"\\" + file).c_str(), FALSE))
        << file;
  }
  HostProcess first(executable, L"", bundle);
  HostProcess second(copy + L"\\veskaro_flutter.exe", L"", copy);
  HWND first_window = first.WaitForVisibleWindow();
  HWND second_window = second.WaitForVisibleWindow();
  ASSERT_NE(first_window, nullptr);
  ASSERT_NE(second_window, nullptr);
  EXPECT_NE(first_window, second_window);
  PostMessageW(first_window, WM_CLOSE, 0, 0);
  PostMessageW(second_window, WM_CLOSE, 0, 0);
  EXPECT_EQ(first.WaitForExit(), 0);
  EXPECT_EQ(second.WaitForExit(), 0);
}

std::wstring VersionString(const std::vector<BYTE>& info, const wchar_t* name) {
  struct Translation {
    WORD language;
    WORD code_page;
  }* translation = nullptr;
  UINT size = 0;
  if (!VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation",
                      reinterpret_cast<void**>(&translation), &size) ||
      size < sizeof(Translation)) {
    return L"";
  }
  wchar_t query[128] = {};
  swprintf(query, 128, L"\\StringFileInfo\\%04x%04x\\%ls", translation->language,
           translation->code_page, name);
  wchar_t* value = nullptr;
  return VerQueryValueW(info.data(), query, reinterpret_cast<void**>(&value), &size) ? value : L"";
}

TEST_F(ProcessTest, ExecutableCarriesVersionManifestAndIcon) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(executable.c_str(), &ignored);
  ASSERT_GT(size, 0u);
  std::vector<BYTE> info(size);
  ASSERT_TRUE(GetFileVersionInfoW(executable.c_str(), 0, size, info.data()));
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT fixed_size = 0;
  ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &fixed_size));
  EXPECT_EQ(fixed->dwFileVersionMS, MAKELONG(0, 1));
  EXPECT_EQ(fixed->dwFileVersionLS, MAKELONG(34, 30));
  EXPECT_EQ(fixed->dwProductVersionMS, MAKELONG(0, 1));
  EXPECT_EQ(fixed->dwProductVersionLS, MAKELONG(34, 30));
  const wchar_t* const strings[][2] = {
      {L"FileVersion", L"1.0.30+34"},       {L"ProductVersion", L"1.0.30+34"},
      {L"CompanyName", L"com.veskaro"},     {L"FileDescription", L"veskaro_flutter"},
      {L"ProductName", L"veskaro_flutter"},
  };
  for (const auto& string : strings) {
    EXPECT_EQ(VersionString(info, string[0]), string[1]);
  }

  const UniqueModule image_module(
      LoadLibraryExW(executable.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
  ASSERT_TRUE(image_module);
  HMODULE image = image_module.Get();
  HRSRC manifest = FindResourceW(image, MAKEINTRESOURCEW(1), RT_MANIFEST);
  ASSERT_NE(manifest, nullptr);
  const char* text = static_cast<const char*>(LockResource(LoadResource(image, manifest)));
  const std::string manifest_text(text, SizeofResource(image, manifest));
  for (const char* part : {"level=\"asInvoker\"", ">PerMonitorV2</dpiAwareness>",
                           "http://schemas.microsoft.com/SMI/2016/WindowsSettings"}) {
    EXPECT_NE(manifest_text.find(part), std::string::npos) << part;
  }

  HRSRC icons = FindResourceW(image, MAKEINTRESOURCEW(101), RT_GROUP_ICON);
  ASSERT_NE(icons, nullptr);
  // The group header: reserved, type, count; then one 14-byte entry per image.
  const auto* group = static_cast<const WORD*>(LockResource(LoadResource(image, icons)));
  ASSERT_EQ(group[2], 7);
  const BYTE* entries = reinterpret_cast<const BYTE*>(group + 3);
  std::vector<int> widths;
  for (int i = 0; i < 7; ++i) {
    widths.push_back(entries[14 * i] == 0 ? 256 : entries[14 * i]);
  }
  EXPECT_EQ(widths, (std::vector<int>{16, 24, 32, 48, 64, 128, 256}));
}

}  // namespace
