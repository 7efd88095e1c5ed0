// Drives the running reader with key messages from outside and samples its memory, handle and GUI object counts.
//
// soak_driver.exe TITLE CHOICE_CAPTION PRESSES EVERY
//   finds the top-level window titled TITLE and presses keys in it PRESSES times: a choice
//   key (1..5, then keypad 1..5, in turn) while the caption is CHOICE_CAPTION, else Down;
//   every tenth time a key the reader must ignore goes first. After each key it waits until
//   the caption changes, so the reader's queue never holds more than two presses. It samples
//   the reader before the first key and after every EVERY keys; the sample after EVERY keys is
//   the baseline (allocators and caches have warmed up by then), and every later sample may
//   exceed it by at most the tolerances below. Exit status: 0 flat, 1 growth or a reader that
//   stopped answering, 2 wrong arguments or counts this system cannot take.
// soak_driver.exe --leak READY GO DONE
//   the calibration child: on the event GO it leaks memory, handles, GDI objects and windows
//   in known amounts, then signals DONE. The driver measures it first, so a flat reading of
//   the reader means the counts would have seen a leak.
#include <windows.h>
#include <psapi.h>
#include <winternl.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

namespace {

// Growth allowed after warm-up. Memory: 512 KiB, a few of the steps in which a heap
// commits pages; one leaked heap block per press (32 bytes at least with its header) is
// 2.7 MiB over the 90,000 measured presses, and one of 64 bytes per answered choice
// (about one press in eleven) is 0.5 MiB. Handles and GUI objects leak one per event or
// not at all, so a few spare cover objects the window system creates and frees on its own
// schedule (caches of fonts and DCs for the title bar).
constexpr std::int64_t kMemoryTolerance = 512 << 10;
constexpr std::int64_t kHandleTolerance = 5;
constexpr std::int64_t kGuiTolerance = 5;

// What the calibration child leaks: well above each tolerance, so that a counter which
// sees it would also see a real leak. Memory goes in small blocks, as a leak would: large
// ones get pages of their own and would be seen where small ones are not.
constexpr std::size_t kLeakBytes = 8u << 20;
constexpr std::size_t kLeakBlockBytes = 64;
constexpr int kLeakHandles = 50;
constexpr int kLeakGdiObjects = 50;
constexpr int kLeakWindows = 20;

constexpr DWORD kPressTimeoutMs = 10000;

struct Counts {
  std::int64_t privateBytes = -1;  // -1: not counted on this system
  std::int64_t workingSet = -1;
  std::int64_t handles = -1;
  std::int64_t gdiObjects = -1;
  std::int64_t userObjects = -1;
};

std::string Utf8(const std::wstring& text) {
  const int length = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string result(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, result.data(), length, nullptr, nullptr);
  result.pop_back();
  return result;
}

// The handle count, from the system's table of every process's handles when the process
// query gives none (Wine answers 0 for it; a running process always holds some handles).
std::int64_t HandleCount(HANDLE process, DWORD pid) {
  DWORD count = 0;
  if (GetProcessHandleCount(process, &count) && count > 0) return count;
  struct Entry {  // one entry of the system handle information, in its 64-bit layout
    ULONG ownerPid;
    BYTE objectType;
    BYTE flags;
    USHORT value;
    void* object;
    ACCESS_MASK access;
  };
  constexpr auto kSystemHandleInformation = static_cast<SYSTEM_INFORMATION_CLASS>(16);
  constexpr NTSTATUS kInfoLengthMismatch = static_cast<NTSTATUS>(0xC0000004L);
  std::vector<std::byte> buffer(1 << 20);
  NTSTATUS status;
  ULONG needed = 0;
  while ((status = NtQuerySystemInformation(kSystemHandleInformation, buffer.data(),
                                            static_cast<ULONG>(buffer.size()), &needed)) == kInfoLengthMismatch) {
    buffer.resize(buffer.size() * 2);
  }
  if (status != 0) return -1;
  ULONG entries = 0;
  std::memcpy(&entries, buffer.data(), sizeof entries);
  std::int64_t owned = 0;
  for (ULONG i = 0; i < entries; ++i) {
    Entry entry;
    std::memcpy(&entry, buffer.data() + sizeof(void*) + i * sizeof(Entry), sizeof entry);
    if (entry.ownerPid == pid) ++owned;
  }
  return owned;
}

// The GDI object count. Where GetGuiResources is not implemented (Wine), the process's
// GDI handle table, which its PEB points to, is read instead: there the table is the
// process's own, so every entry in use is one of its objects.
std::int64_t GdiObjectCount(HANDLE process) {
  SetLastError(0);
  const DWORD count = GetGuiResources(process, GR_GDIOBJECTS);
  if (count > 0 || GetLastError() != ERROR_CALL_NOT_IMPLEMENTED) return count;
  PROCESS_BASIC_INFORMATION basic{};
  ULONG length = 0;
  if (NtQueryInformationProcess(process, ProcessBasicInformation, &basic, sizeof basic, &length) != 0) return -1;
  constexpr std::size_t kPebGdiTableOffset = 0xF8;  // GdiSharedHandleTable in the 64-bit PEB
  void* table = nullptr;
  SIZE_T read = 0;
  if (!ReadProcessMemory(process, static_cast<std::byte*>(static_cast<void*>(basic.PebBaseAddress)) + kPebGdiTableOffset,
                         &table, sizeof table, &read) ||
      !table) {
    return -1;
  }
  struct Cell {  // one handle table entry: the object, its owner, its type
    std::uint64_t object;
    std::uint32_t owner;
    std::uint16_t unique;
    std::uint8_t type;
    std::uint8_t flags;
    std::uint64_t user;
  };
  static_assert(sizeof(Cell) == 24);
  constexpr std::size_t kCellsPerRead = 1024;
  constexpr std::size_t kMaxCells = 65536;  // the table's greatest size; reading stops where it ends
  std::vector<Cell> cells(kCellsPerRead);
  std::int64_t used = 0;
  for (std::size_t first = 0; first < kMaxCells; first += kCellsPerRead) {
    if (!ReadProcessMemory(process, static_cast<std::byte*>(table) + first * sizeof(Cell), cells.data(),
                           cells.size() * sizeof(Cell), &read)) {
      break;
    }
    for (const Cell& cell : cells) used += cell.type != 0;
  }
  return used;
}

struct WindowCount {
  DWORD pid;
  std::int64_t windows = 0;
};

BOOL CALLBACK CountChild(HWND, LPARAM param) {
  ++reinterpret_cast<WindowCount*>(param)->windows;
  return TRUE;
}

BOOL CALLBACK CountTopLevel(HWND window, LPARAM param) {
  auto& count = *reinterpret_cast<WindowCount*>(param);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner != count.pid) return TRUE;
  ++count.windows;
  EnumChildWindows(window, CountChild, param);
  return TRUE;
}

// The USER object count. Where GetGuiResources is not implemented, the process's windows,
// top-level and child, hidden or not: the USER objects a reader could pile up by the
// thousand (menus and icons are loaded once, and no other process can list them).
std::int64_t UserObjectCount(HANDLE process, DWORD pid) {
  SetLastError(0);
  const DWORD count = GetGuiResources(process, GR_USEROBJECTS);
  if (count > 0 || GetLastError() != ERROR_CALL_NOT_IMPLEMENTED) return count;
  WindowCount windows{pid};
  EnumWindows(CountTopLevel, reinterpret_cast<LPARAM>(&windows));
  return windows.windows;
}

Counts Sample(HANDLE process, DWORD pid) {
  Counts counts;
  PROCESS_MEMORY_COUNTERS_EX memory{};
  memory.cb = sizeof memory;
  if (GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof memory)) {
    // Wine leaves PrivateUsage at 0 for other processes; the commit charge is the same figure there.
    counts.privateBytes = static_cast<std::int64_t>(memory.PrivateUsage ? memory.PrivateUsage : memory.PagefileUsage);
    counts.workingSet = static_cast<std::int64_t>(memory.WorkingSetSize);
  }
  counts.handles = HandleCount(process, pid);
  counts.gdiObjects = GdiObjectCount(process);
  counts.userObjects = UserObjectCount(process, pid);
  return counts;
}

void PrintHeader() { std::printf("%9s %14s %14s %8s %8s %8s\n", "presses", "private", "working-set", "handles", "gdi", "user"); }

void PrintSample(long presses, const Counts& counts) {
  std::printf("%9ld %14lld %14lld %8lld %8lld %8lld\n", presses, static_cast<long long>(counts.privateBytes),
              static_cast<long long>(counts.workingSet), static_cast<long long>(counts.handles),
              static_cast<long long>(counts.gdiObjects), static_cast<long long>(counts.userObjects));
  std::fflush(stdout);
}

// The calibration child: leaks on GO, then holds what it leaked until it is ended.
int Leak(const wchar_t* ready, const wchar_t* go, const wchar_t* done) {
  HANDLE readyEvent = OpenEventW(EVENT_MODIFY_STATE, FALSE, ready);
  HANDLE goEvent = OpenEventW(SYNCHRONIZE, FALSE, go);
  HANDLE doneEvent = OpenEventW(EVENT_MODIFY_STATE, FALSE, done);
  if (!readyEvent || !goEvent || !doneEvent) return 2;
  // The blocks are kept, so that the compiler may not leave them out; the room for their
  // addresses is taken before the first count.
  std::vector<std::byte*> blocks;
  blocks.reserve(kLeakBytes / kLeakBlockBytes);
  SetEvent(readyEvent);
  WaitForSingleObject(goEvent, INFINITE);
  // Written, so that the pages are really used and not only reserved.
  for (std::size_t leaked = 0; leaked < kLeakBytes; leaked += kLeakBlockBytes) {
    blocks.push_back(new std::byte[kLeakBlockBytes]);
    std::memset(blocks.back(), 0x5a, kLeakBlockBytes);
  }
  for (int i = 0; i < kLeakHandles; ++i) CreateEventW(nullptr, FALSE, FALSE, nullptr);
  for (int i = 0; i < kLeakGdiObjects; ++i) CreateSolidBrush(RGB(i, 0, 0));
  for (int i = 0; i < kLeakWindows; ++i) {
    CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  }
  SetEvent(doneEvent);
  Sleep(INFINITE);
  return 0;
}

// Runs the calibration child and checks that each count sees its leak. Returns false,
// having said which, when one does not.
bool CountsSeeLeaks() {
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  const std::wstring tag = std::to_wstring(GetCurrentProcessId());
  const std::wstring ready = L"QuillshadeSoakReady" + tag, go = L"QuillshadeSoakGo" + tag,
                     done = L"QuillshadeSoakDone" + tag;
  HANDLE readyEvent = CreateEventW(nullptr, TRUE, FALSE, ready.c_str());
  HANDLE goEvent = CreateEventW(nullptr, TRUE, FALSE, go.c_str());
  HANDLE doneEvent = CreateEventW(nullptr, TRUE, FALSE, done.c_str());
  std::wstring command = L"\"" + std::wstring(self) + L"\" --leak " + ready + L" " + go + L" " + done;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION child{};
  if (!CreateProcessW(self, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &child)) {
    std::fprintf(stderr, "soak: cannot start the calibration child (error %lu)\n", GetLastError());
    return false;
  }
  bool seen = false;
  const HANDLE readyOrGone[] = {readyEvent, child.hProcess};
  if (WaitForMultipleObjects(2, readyOrGone, FALSE, 30000) == WAIT_OBJECT_0) {
    const Counts before = Sample(child.hProcess, child.dwProcessId);
    SetEvent(goEvent);
    const HANDLE doneOrGone[] = {doneEvent, child.hProcess};
    if (WaitForMultipleObjects(2, doneOrGone, FALSE, 30000) == WAIT_OBJECT_0) {
      const Counts after = Sample(child.hProcess, child.dwProcessId);
      std::printf("calibration: a child leaking %zu MiB in %zu-byte blocks, %d handles, %d GDI objects and %d windows\n",
                  kLeakBytes >> 20, kLeakBlockBytes, kLeakHandles, kLeakGdiObjects, kLeakWindows);
      PrintHeader();
      PrintSample(0, before);
      PrintSample(0, after);
      seen = true;
      auto check = [&](const char* what, std::int64_t b, std::int64_t a, std::int64_t leaked) {
        if (b >= 0 && a - b >= leaked) return;
        std::fprintf(stderr, "soak: this system's %s count does not see a leak (%lld -> %lld, %lld leaked)\n", what,
                     static_cast<long long>(b), static_cast<long long>(a), static_cast<long long>(leaked));
        seen = false;
      };
      // Half the leaked memory is enough: the counters round to pages and the heap may
      // have had some of it free already.
      check("private memory", before.privateBytes, after.privateBytes, kLeakBytes / 2);
      check("handle", before.handles, after.handles, kLeakHandles);
      check("GDI object", before.gdiObjects, after.gdiObjects, kLeakGdiObjects);
      check("USER object", before.userObjects, after.userObjects, kLeakWindows);
    } else {
      std::fprintf(stderr, "soak: the calibration child did not leak in time\n");
    }
  } else {
    std::fprintf(stderr, "soak: the calibration child did not start in time\n");
  }
  TerminateProcess(child.hProcess, 0);
  WaitForSingleObject(child.hProcess, 10000);
  CloseHandle(child.hProcess);
  CloseHandle(child.hThread);
  CloseHandle(readyEvent);
  CloseHandle(goEvent);
  CloseHandle(doneEvent);
  return seen;
}

std::wstring Caption(HWND window) {
  wchar_t text[1024] = {};
  GetWindowTextW(window, text, 1024);
  return text;
}

// One key press as the keyboard makes it: down, then up, with the key's scan code.
void PostKey(HWND window, UINT virtualKey) {
  const UINT scanCode = MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC);
  LPARAM down = 1 | static_cast<LPARAM>(scanCode) << 16;
  if (virtualKey == VK_DOWN) down |= LPARAM{1} << 24;  // an extended key, apart from the keypad's
  const LPARAM up = down | LPARAM{1} << 30 | LPARAM{1} << 31;
  PostMessageW(window, WM_KEYDOWN, virtualKey, down);
  PostMessageW(window, WM_KEYUP, virtualKey, up);
}

// Waits until the caption differs from BEFORE. Each round trip of a sent message ends only
// when the reader asks for its next message, so this waits without spinning.
bool WaitForNewCaption(HWND window, const std::wstring& before) {
  const ULONGLONG deadline = GetTickCount64() + kPressTimeoutMs;
  while (Caption(window) == before) {
    if (GetTickCount64() > deadline) return false;
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 1000, &result) && !IsWindow(window)) return false;
  }
  return true;
}

bool Grew(const char* what, std::int64_t base, std::int64_t now, std::int64_t tolerance, long presses) {
  if (base < 0 || now - base <= tolerance) return false;
  std::fprintf(stderr, "soak: %s grew from %lld to %lld after %ld presses (tolerance %lld)\n", what,
               static_cast<long long>(base), static_cast<long long>(now), presses, static_cast<long long>(tolerance));
  return true;
}

int Soak(const wchar_t* title, const std::wstring& choiceCaption, long presses, long every) {
  HWND window = FindWindowW(nullptr, title);
  if (!window) {
    std::fprintf(stderr, "soak: no window titled %s\n", Utf8(title).c_str());
    return 2;
  }
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  HANDLE reader = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
  if (!reader) {
    std::fprintf(stderr, "soak: cannot open the reader's process (error %lu)\n", GetLastError());
    return 2;
  }
  if (!CountsSeeLeaks()) return 2;

  const UINT choiceKeys[] = {'1', '2', '3', '4', '5', VK_NUMPAD1, VK_NUMPAD2, VK_NUMPAD3, VK_NUMPAD4, VK_NUMPAD5};
  long choices = 0;
  long steps = 0;
  bool grew = false;
  Counts baseline;
  std::printf("the reader, every %ld presses (bytes and counts)\n", every);
  PrintHeader();
  PrintSample(0, Sample(reader, pid));
  long pressed = 0;
  long nextSample = every;
  while (pressed < presses) {
    const std::wstring before = Caption(window);
    const bool choicePending = before == choiceCaption;
    // Every tenth step first presses a key the reader must ignore in its state: Down while
    // a choice waits, a choice key while none does.
    if (++steps % 10 == 0 && pressed + 2 <= std::min(nextSample, presses)) {
      PostKey(window, choicePending ? VK_DOWN : choiceKeys[steps / 10 % 10]);
      ++pressed;
    }
    PostKey(window, choicePending ? choiceKeys[choices++ % 10] : VK_DOWN);
    ++pressed;
    if (!WaitForNewCaption(window, before)) {
      std::fprintf(stderr, "soak: the caption stayed '%s' after press %ld: the reader stopped answering\n",
                   Utf8(before).c_str(), pressed);
      return 1;
    }
    if (pressed >= nextSample) {
      const Counts now = Sample(reader, pid);
      PrintSample(pressed, now);
      if (nextSample == every) {
        baseline = now;
      } else {
        grew |= Grew("private memory", baseline.privateBytes, now.privateBytes, kMemoryTolerance, pressed);
        grew |= Grew("the handle count", baseline.handles, now.handles, kHandleTolerance, pressed);
        grew |= Grew("the GDI object count", baseline.gdiObjects, now.gdiObjects, kGuiTolerance, pressed);
        grew |= Grew("the USER object count", baseline.userObjects, now.userObjects, kGuiTolerance, pressed);
      }
      nextSample += every;
    }
  }
  std::printf("%ld presses, %ld choices answered; caption now '%s'\n", pressed, choices, Utf8(Caption(window)).c_str());
  CloseHandle(reader);
  return grew ? 1 : 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc == 5 && std::wcscmp(argv[1], L"--leak") == 0) return Leak(argv[2], argv[3], argv[4]);
  if (argc == 5) {
    const long presses = std::wcstol(argv[3], nullptr, 10);
    const long every = std::wcstol(argv[4], nullptr, 10);
    if (presses > 0 && every > 0 && presses >= 2 * every) return Soak(argv[1], argv[2], presses, every);
  }
  std::fputs("usage: soak_driver.exe TITLE CHOICE_CAPTION PRESSES EVERY  (PRESSES at least twice EVERY)\n", stderr);
  return 2;
}
