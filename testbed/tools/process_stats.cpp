// Prints the Windows-side resource counts of the process that owns a top-level window, as
// one JSON line, for the soak test to sample while the host runs:
//   process_stats.exe TITLE
//   {"pid":..,"handles":..,"gdi":..,"user":..,"working_set":..,"peak_working_set":..,
//    "api_handles":..,"api_gdi":..}
// Wine answers GetProcessHandleCount with 0 and GetGuiResources is a stub returning 0, so
// "handles" counts the process's entries in the system handle table and "gdi" the used
// entries of its GDI handle table; the API answers are printed as api_* for comparison.
// Exit 1 when there is no such window or the process cannot be read, 2 on usage errors.
#include <windows.h>

// After <windows.h>, which they need.
#include <psapi.h>
#include <winternl.h>

#include <cstdint>
#include <cstdio>
#include <vector>

#include "base/unique_handle.h"

namespace {

// SystemExtendedHandleInformation: one entry per open handle of every process.
constexpr ULONG kSystemExtendedHandleInformation = 64;
constexpr NTSTATUS kStatusInfoLengthMismatch = static_cast<NTSTATUS>(0xC0000004L);

struct HandleEntry {
  void* object;
  ULONG_PTR process_id;
  ULONG_PTR handle_value;
  ULONG granted_access;
  USHORT back_trace_index;
  USHORT type_index;
  ULONG attributes;
  ULONG reserved;
};

struct HandleTable {
  ULONG_PTR count;
  ULONG_PTR reserved;
  HandleEntry entries[1];
};

// The PEB's GdiSharedHandleTable field (x64), and the table's layout: a used entry has a
// nonzero type.
constexpr size_t kPebGdiTableOffset = 0xF8;
constexpr size_t kGdiTableEntries = 0x10000;

struct GdiEntry {
  uint64_t object;
  uint32_t owner;
  uint16_t unique;
  uint8_t type;
  uint8_t flags;
  uint64_t user;
};
static_assert(sizeof(GdiEntry) == 24, "GDI table entries are 24 bytes on x64");

long CountHandles(DWORD process_id) {
  std::vector<uint8_t> buffer(1 << 20);
  for (int attempt = 0; attempt < 6; ++attempt) {
    ULONG needed = 0;
    const NTSTATUS status = NtQuerySystemInformation(
        static_cast<SYSTEM_INFORMATION_CLASS>(kSystemExtendedHandleInformation), buffer.data(),
        static_cast<ULONG>(buffer.size()), &needed);
    if (status == kStatusInfoLengthMismatch) {
      buffer.resize(buffer.size() * 2);
      continue;
    }
    if (status != 0) {
      return -1;
    }
    const auto* table = reinterpret_cast<const HandleTable*>(buffer.data());
    long count = 0;
    for (ULONG_PTR i = 0; i < table->count; ++i) {
      if (table->entries[i].process_id == process_id) {
        ++count;
      }
    }
    return count;
  }
  return -1;
}

long CountGdiObjects(HANDLE process) {
  PROCESS_BASIC_INFORMATION basic = {};
  ULONG length = 0;
  if (NtQueryInformationProcess(process, ProcessBasicInformation, &basic, sizeof(basic), &length) !=
      0) {
    return -1;
  }
  uint64_t table_address = 0;
  SIZE_T read = 0;
  if (!ReadProcessMemory(process,
                         reinterpret_cast<uint8_t*>(basic.PebBaseAddress) + kPebGdiTableOffset,
                         &table_address, sizeof(table_address), &read) ||
      table_address == 0) {
    return -1;
  }
  std::vector<GdiEntry> table(kGdiTableEntries);
  if (!ReadProcessMemory(process, reinterpret_cast<void*>(static_cast<uintptr_t>(table_address)),
                         table.data(), table.size() * sizeof(GdiEntry), &read)) {
    return -1;
  }
  long count = 0;
  for (const GdiEntry& entry : table) {
    if (entry.type != 0) {
      ++count;
    }
  }
  return count;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: process_stats.exe TITLE\n");
    return 2;
  }
  HWND window = FindWindowW(nullptr, argv[1]);
  DWORD process_id = 0;
  if (window == nullptr || GetWindowThreadProcessId(window, &process_id) == 0) {
    std::fprintf(stderr, "process_stats: no window with that title\n");
    return 1;
  }
  const UniqueHandle process(
      OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, process_id));
  if (!process) {
    std::fprintf(stderr, "process_stats: cannot open process %lu\n", process_id);
    return 1;
  }
  PROCESS_MEMORY_COUNTERS memory = {};
  memory.cb = sizeof(memory);
  if (!GetProcessMemoryInfo(process.Get(), &memory, sizeof(memory))) {
    std::fprintf(stderr, "process_stats: cannot read the memory counters\n");
    return 1;
  }
  const long handles = CountHandles(process_id);
  const long gdi = CountGdiObjects(process.Get());
  if (handles < 0 || gdi < 0) {
    std::fprintf(stderr, "process_stats: cannot read the handle tables\n");
    return 1;
  }
  DWORD api_handles = 0;
  if (!GetProcessHandleCount(process.Get(), &api_handles)) {
    api_handles = 0;
  }
  std::printf(
      "{\"pid\":%lu,\"handles\":%ld,\"gdi\":%ld,\"user\":%lu,\"working_set\":%llu,"
      "\"peak_working_set\":%llu,\"api_handles\":%lu,\"api_gdi\":%lu}\n",
      process_id, handles, gdi, GetGuiResources(process.Get(), GR_USEROBJECTS),
      static_cast<unsigned long long>(memory.WorkingSetSize),
      static_cast<unsigned long long>(memory.PeakWorkingSetSize), api_handles,
      GetGuiResources(process.Get(), GR_GDIOBJECTS));
  return 0;
}
