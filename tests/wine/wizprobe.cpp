// Reads the wizard window's state from outside, for the Wine GUI test: control texts and
// flags, the process list's rows, the hints, where to click, and which faces the window's
// two font names map to. It never changes the window; the test drives it with real input.
//
// usage: wizprobe [--desktop NAME] COMMAND [ARG]
//   wait [SECONDS]      until the window exists and is visible (exit 1 on timeout)
//   gone [SECONDS]      until the window no longer exists (exit 1 on timeout)
//   controls            one line per control: name, own visible flag, shown, enabled, text
//   rows                one line per list row: index, selected, caption, PID, memory
//   row-point PID       screen point in the middle of the row whose PID text is PID
//   point NAME          screen point in the middle of a control
//   rect NAME           screen rectangle of a control: left top width height
//   hint NAME           the hint text of a control
//   tooltips            the texts of the window's tool-tip windows that are shown
//   tipwait SECONDS     prints "ready" once no tool tip is shown, then watches every 20 ms
//                       for one and prints its text at once (exit 1 when none shows in time)
//   focus               the control with the keyboard focus, and the active window
//   dialogs             the titles of the wizard's shown dialog windows (the save dialog)
//   acp                 the ANSI code page this probe runs with (no window needed)
//   fontcheck           the faces the two font names map to, and missing glyphs
//   layout              one line per control: name, inside its parent and the window (1/0),
//                       text fits (1/0, shown controls only), the text's width and height
//                       against the room for it
#include <windows.h>
#include <commctrl.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "app/control_ids.h"

namespace {

constexpr UINT kSendTimeoutMs = 60000;

void Out(const std::wstring& text) {
  int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &utf8[0], length, nullptr, nullptr);
  utf8 += '\n';
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
}

std::wstring Number(long long value) { return std::to_wstring(value); }

HWND FindForm() { return FindWindowW(TARNHOLM_FORM_CLASS, L"The Tarnholm"); }

struct ChildSearch {
  int id;
  HWND found;
};

BOOL CALLBACK MatchChild(HWND child, LPARAM context) {
  ChildSearch* s = reinterpret_cast<ChildSearch*>(context);
  if (GetDlgCtrlID(child) == s->id) {
    s->found = child;
    return FALSE;
  }
  return TRUE;
}

HWND Control(HWND form, const char* name) {
  for (const ControlName& control : kControlNames) {
    if (strcmp(control.name, name) != 0) continue;
    ChildSearch search = {control.id, nullptr};
    EnumChildWindows(form, MatchChild, reinterpret_cast<LPARAM>(&search));
    return search.found;
  }
  return nullptr;
}

std::wstring Text(HWND window) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &length)) return L"?";
  std::vector<wchar_t> buffer(length + 2, L'\0');
  DWORD_PTR copied = 0;
  SendMessageTimeoutW(window, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()), SMTO_ABORTIFHUNG,
                      kSendTimeoutMs, &copied);
  return std::wstring(buffer.data());
}

// A page of memory in the window's process for the list and tool-tip messages, which
// take pointers the system does not carry across processes.
class Remote {
 public:
  explicit Remote(HWND window) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    process_ = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
    if (process_ != nullptr) {
      base_ = static_cast<BYTE*>(VirtualAllocEx(process_, nullptr, kSize, MEM_COMMIT, PAGE_READWRITE));
    }
  }
  ~Remote() {
    if (base_ != nullptr) VirtualFreeEx(process_, base_, 0, MEM_RELEASE);
    if (process_ != nullptr) CloseHandle(process_);
  }
  bool ok() const { return base_ != nullptr; }
  BYTE* at(size_t offset) const { return base_ + offset; }
  bool Write(size_t offset, const void* data, size_t size) {
    SIZE_T done = 0;
    return WriteProcessMemory(process_, base_ + offset, data, size, &done) && done == size;
  }
  bool Read(size_t offset, void* data, size_t size) {
    SIZE_T done = 0;
    return ReadProcessMemory(process_, base_ + offset, data, size, &done) && done == size;
  }
  static constexpr size_t kSize = 8192;
  static constexpr size_t kTextOffset = 1024;
  static constexpr size_t kTextChars = 1024;

 private:
  HANDLE process_ = nullptr;
  BYTE* base_ = nullptr;
};

std::wstring RowText(Remote& remote, HWND list, int row, int subItem) {
  LVITEMW item{};
  item.iSubItem = subItem;
  item.pszText = reinterpret_cast<wchar_t*>(remote.at(Remote::kTextOffset));
  item.cchTextMax = Remote::kTextChars;
  wchar_t empty = 0;
  remote.Write(Remote::kTextOffset, &empty, sizeof empty);
  remote.Write(0, &item, sizeof item);
  DWORD_PTR result = 0;
  SendMessageTimeoutW(list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(remote.at(0)), SMTO_ABORTIFHUNG,
                      kSendTimeoutMs, &result);
  std::vector<wchar_t> text(Remote::kTextChars + 1, L'\0');
  remote.Read(Remote::kTextOffset, text.data(), Remote::kTextChars * sizeof(wchar_t));
  return text.data();
}

LRESULT Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  DWORD_PTR result = 0;
  SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, kSendTimeoutMs, &result);
  return static_cast<LRESULT>(result);
}

// The top-level windows of the form's process whose class is className.
struct ClassSearch {
  DWORD pid;
  const wchar_t* className;
  std::vector<HWND> found;
};

BOOL CALLBACK MatchClass(HWND window, LPARAM context) {
  ClassSearch* s = reinterpret_cast<ClassSearch*>(context);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  wchar_t name[64] = {0};
  GetClassNameW(window, name, 64);
  if (pid == s->pid && lstrcmpiW(name, s->className) == 0) s->found.push_back(window);
  return TRUE;
}

std::vector<HWND> WindowsOfClass(HWND form, const wchar_t* className) {
  ClassSearch search{0, className, {}};
  GetWindowThreadProcessId(form, &search.pid);
  EnumWindows(MatchClass, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

std::vector<HWND> ToolTips(HWND form) { return WindowsOfClass(form, TOOLTIPS_CLASSW); }

std::wstring Hint(HWND form, HWND control) {
  Remote remote(form);
  if (!remote.ok()) return L"?";
  for (HWND tip : ToolTips(form)) {
    TOOLINFOW tool{};
    tool.cbSize = TTTOOLINFOW_V2_SIZE;
    tool.hwnd = form;
    tool.uId = reinterpret_cast<UINT_PTR>(control);
    tool.lpszText = reinterpret_cast<wchar_t*>(remote.at(Remote::kTextOffset));
    wchar_t empty = 0;
    remote.Write(Remote::kTextOffset, &empty, sizeof empty);
    remote.Write(0, &tool, sizeof tool);
    Send(tip, TTM_GETTEXTW, Remote::kTextChars, reinterpret_cast<LPARAM>(remote.at(0)));
    std::vector<wchar_t> text(Remote::kTextChars + 1, L'\0');
    remote.Read(Remote::kTextOffset, text.data(), Remote::kTextChars * sizeof(wchar_t));
    if (text[0] != 0) return text.data();
  }
  return L"";
}

void PrintPoint(RECT rect) {
  Out(Number((rect.left + rect.right) / 2) + L" " + Number((rect.top + rect.bottom) / 2));
}

int WaitFor(bool present, int seconds) {
  for (int i = 0; i < seconds * 10; ++i) {
    HWND form = FindForm();
    if (present ? (form != nullptr && IsWindowVisible(form)) : form == nullptr) return 0;
    Sleep(100);
  }
  return 1;
}

int FontCheck(HWND form) {
  static const wchar_t* const kFaces[] = {L"ＭＳ Ｐゴシック", L"ＭＳ ゴシック"};
  // Every Japanese text of the window, to find glyphs the mapped faces lack.
  std::wstring sample;
  for (const ControlName& control : kControlNames) {
    HWND window = Control(form, control.name);
    if (window != nullptr) sample += Text(window);
  }
  sample += L"ダンプの取得終了プログラム名PIDメモリー使用量プロセス選択画面最新の状態に更新";
  int status = 0;
  HDC dc = CreateCompatibleDC(nullptr);
  for (const wchar_t* face : kFaces) {
    HFONT font = CreateFontW(-12, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, SHIFTJIS_CHARSET, OUT_DEFAULT_PRECIS,
                             CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, face);
    HGDIOBJ previous = SelectObject(dc, font);
    wchar_t actual[LF_FACESIZE] = {0};
    GetTextFaceW(dc, LF_FACESIZE, actual);
    std::vector<WORD> glyphs(sample.size());
    GetGlyphIndicesW(dc, sample.c_str(), static_cast<int>(sample.size()), glyphs.data(), GGI_MARK_NONEXISTING_GLYPHS);
    int missing = 0;
    for (size_t i = 0; i < sample.size(); ++i) {
      if (sample[i] > 0x7F && glyphs[i] == 0xFFFF) ++missing;
    }
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    Out(std::wstring(face) + L"\t" + actual + L"\tcharset=" + Number(metrics.tmCharSet) + L"\tmissing=" +
        Number(missing));
    if (missing != 0) status = 1;
    SelectObject(dc, previous);
    DeleteObject(font);
  }
  DeleteDC(dc);
  return status;
}

// A caption as drawn: "&" marks the access key, "&&" is one "&".
std::wstring Drawn(const std::wstring& caption) {
  std::wstring text;
  for (size_t i = 0; i < caption.size(); ++i) {
    if (caption[i] == L'&' && i + 1 < caption.size()) ++i;
    text += caption[i];
  }
  return text;
}

bool Inside(const RECT& inner, const RECT& outer) {
  return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
         inner.bottom <= outer.bottom;
}

RECT ClientOnScreen(HWND window) {
  RECT rect;
  GetClientRect(window, &rect);
  MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

// The room a control's kind leaves for its text, in pixels at dpi: the frame and margins of
// a push button, the box of a check box, the frame of an edit and the inset of a caption.
SIZE TextRoom(HWND window, int dpi) {
  wchar_t kind[32] = {0};
  GetClassNameW(window, kind, 32);
  RECT client;
  GetClientRect(window, &client);
  SIZE room = {client.right, client.bottom};
  const LONG style = GetWindowLongW(window, GWL_STYLE);
  if (lstrcmpiW(kind, L"Button") == 0) {
    const LONG type = style & BS_TYPEMASK;
    if (type == BS_GROUPBOX) {
      room.cx -= MulDiv(16, dpi, 96);
    } else if (type == BS_AUTOCHECKBOX || type == BS_CHECKBOX) {
      room.cx -= MulDiv(13 + 4, dpi, 96);
    } else {
      room.cx -= 2 * GetSystemMetrics(SM_CXEDGE) + 4;
      room.cy -= 2 * GetSystemMetrics(SM_CYEDGE) + 2;
    }
  } else if (lstrcmpiW(kind, L"Edit") == 0) {
    room.cx -= 2;
  }
  return room;
}

// Every control inside its parent and the window, and its text not cut: measured in the
// window's font at the screen's pixels per inch. The list's headers against their columns.
int Layout(HWND form) {
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  HFONT font = CreateFontW(-MulDiv(12, dpi, 96), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, SHIFTJIS_CHARSET,
                           OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, VARIABLE_PITCH | FF_SWISS,
                           L"ＭＳ Ｐゴシック");
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ previous = SelectObject(dc, font);
  TEXTMETRICW metrics{};
  GetTextMetricsW(dc, &metrics);
  Out(L"dpi\t" + Number(dpi) + L"\tfont height " + Number(metrics.tmHeight));
  const RECT formClient = ClientOnScreen(form);
  int status = 0;
  for (const ControlName& control : kControlNames) {
    HWND window = Control(form, control.name);
    wchar_t wide[64] = {0};
    MultiByteToWideChar(CP_UTF8, 0, control.name, -1, wide, 64);
    if (window == nullptr) {
      Out(std::wstring(wide) + L"\tmissing");
      status = 1;
      continue;
    }
    RECT rect;
    GetWindowRect(window, &rect);
    const bool inside = Inside(rect, ClientOnScreen(GetParent(window))) && Inside(rect, formClient);
    wchar_t kind[32] = {0};
    GetClassNameW(window, kind, 32);
    // The pane's lines and the file name scroll; the panels carry no text; the texts of a
    // page not shown are not seen (the options page's labels are set when it is entered).
    const bool measured = IsWindowVisible(window) &&
                          (lstrcmpiW(kind, L"Edit") != 0 || window == Control(form, "EditInst"));
    const std::wstring text = measured ? Drawn(Text(window)) : L"";
    SIZE extent = {0, 0};
    if (!text.empty()) GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &extent);
    if (!text.empty()) extent.cy = metrics.tmHeight;
    const SIZE room = TextRoom(window, dpi);
    const bool fits = extent.cx <= room.cx && extent.cy <= room.cy;
    Out(std::wstring(wide) + L"\t" + Number(inside) + L"\t" + Number(fits) + L"\t" + Number(extent.cx) + L"x" +
        Number(extent.cy) + L" in " + Number(room.cx) + L"x" + Number(room.cy));
    if (!inside || !fits) status = 1;
  }
  HWND list = Control(form, "ListView");
  static const wchar_t* const kHeaders[] = {L"プログラム名", L"PID", L"メモリー使用量"};
  for (int column = 0; column < 3 && list != nullptr; ++column) {
    SIZE extent = {0, 0};
    GetTextExtentPoint32W(dc, kHeaders[column], lstrlenW(kHeaders[column]), &extent);
    const int width = static_cast<int>(Send(list, LVM_GETCOLUMNWIDTH, column, 0));
    const bool fits = extent.cx + MulDiv(12, dpi, 96) <= width;  // the header's margins
    Out(L"Column" + Number(column) + L"\t1\t" + Number(fits) + L"\t" + Number(extent.cx) + L" in " + Number(width));
    if (!fits) status = 1;
  }
  SelectObject(dc, previous);
  DeleteObject(font);
  DeleteDC(dc);
  return status;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  // The wizard is DPI aware: so is its probe, or the system would scale every rectangle
  // the probe reads from the wizard's pixels to 96 pixels per inch.
  using SetAwareFunction = BOOL(WINAPI*)();
  const auto setAware = reinterpret_cast<SetAwareFunction>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "SetProcessDPIAware")));
  if (setAware != nullptr) setAware();
  int arg = 1;
  if (arg + 1 < argc && wcscmp(argv[arg], L"--desktop") == 0) {
    HDESK desktop = OpenDesktopW(argv[arg + 1], 0, FALSE, GENERIC_ALL);
    if (desktop == nullptr || !SetThreadDesktop(desktop)) {
      Out(L"no desktop " + std::wstring(argv[arg + 1]));
      return 2;
    }
    arg += 2;
  }
  if (arg >= argc) {
    Out(L"usage: wizprobe [--desktop NAME] wait|gone|controls|rows|row-point|point|rect|hint|tooltips|tipwait|focus|dialogs|acp|fontcheck|layout");
    return 2;
  }
  const std::wstring command = argv[arg];
  char name[64] = {0};
  if (arg + 1 < argc) WideCharToMultiByte(CP_UTF8, 0, argv[arg + 1], -1, name, sizeof name, nullptr, nullptr);

  if (command == L"acp") {
    Out(Number(GetACP()));
    return 0;
  }
  if (command == L"wait") return WaitFor(true, arg + 1 < argc ? _wtoi(argv[arg + 1]) : 30);
  if (command == L"gone") return WaitFor(false, arg + 1 < argc ? _wtoi(argv[arg + 1]) : 30);

  HWND form = FindForm();
  if (form == nullptr) {
    Out(L"no window");
    return 1;
  }

  if (command == L"controls") {
    RECT rect;
    GetWindowRect(form, &rect);
    HWND owner = GetWindow(form, GW_OWNER);
    wchar_t title[128] = {0};
    if (owner != nullptr) GetWindowTextW(owner, title, 128);
    Out(L"Form\t" + Number(IsWindowVisible(form) ? 1 : 0) + L"\t" + Number(IsWindowVisible(form) ? 1 : 0) + L"\t" +
        Number(IsWindowEnabled(form) ? 1 : 0) + L"\t" + Text(form));
    Out(L"FormRect\t" + Number(rect.left) + L"\t" + Number(rect.top) + L"\t" + Number(rect.right - rect.left) + L"\t" +
        Number(rect.bottom - rect.top));
    Out(std::wstring(L"Application\t") + title);
    for (const ControlName& control : kControlNames) {
      HWND window = Control(form, control.name);
      wchar_t wide[64] = {0};
      MultiByteToWideChar(CP_UTF8, 0, control.name, -1, wide, 64);
      if (window == nullptr) {
        Out(std::wstring(wide) + L"\tmissing");
        continue;
      }
      const bool own = (GetWindowLongW(window, GWL_STYLE) & WS_VISIBLE) != 0;
      Out(std::wstring(wide) + L"\t" + Number(own ? 1 : 0) + L"\t" + Number(IsWindowVisible(window) ? 1 : 0) + L"\t" +
          Number(IsWindowEnabled(window) ? 1 : 0) + L"\t" + Text(window));
    }
    return 0;
  }

  if (command == L"rows" || command == L"row-point") {
    HWND list = Control(form, "ListView");
    Remote remote(form);
    if (list == nullptr || !remote.ok()) {
      Out(L"no list");
      return 1;
    }
    const int count = static_cast<int>(Send(list, LVM_GETITEMCOUNT, 0, 0));
    for (int row = 0; row < count; ++row) {
      const std::wstring pid = RowText(remote, list, row, 1);
      const bool selected = (Send(list, LVM_GETITEMSTATE, row, LVIS_SELECTED) & LVIS_SELECTED) != 0;
      if (command == L"rows") {
        Out(Number(row) + L"\t" + Number(selected ? 1 : 0) + L"\t" + RowText(remote, list, row, 0) + L"\t" + pid + L"\t" +
            RowText(remote, list, row, 2));
        continue;
      }
      if (pid != argv[arg + 1]) continue;
      Send(list, LVM_ENSUREVISIBLE, row, FALSE);
      RECT rect = {};
      rect.left = LVIR_LABEL;
      remote.Write(0, &rect, sizeof rect);
      Send(list, LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(remote.at(0)));
      remote.Read(0, &rect, sizeof rect);
      MapWindowPoints(list, nullptr, reinterpret_cast<POINT*>(&rect), 2);
      PrintPoint(rect);
      return 0;
    }
    return command == L"rows" ? 0 : 1;
  }

  if (command == L"point" || command == L"hint" || command == L"rect") {
    HWND window = Control(form, name);
    if (window == nullptr) {
      Out(L"no control");
      return 1;
    }
    if (command == L"hint") {
      Out(Hint(form, window));
      return 0;
    }
    RECT rect;
    GetWindowRect(window, &rect);
    if (command == L"rect") {
      Out(Number(rect.left) + L" " + Number(rect.top) + L" " + Number(rect.right - rect.left) + L" " +
          Number(rect.bottom - rect.top));
      return 0;
    }
    PrintPoint(rect);
    return 0;
  }

  if (command == L"tooltips") {
    for (HWND tip : ToolTips(form)) {
      if (IsWindowVisible(tip)) Out(Text(tip));
    }
    return 0;
  }

  if (command == L"tipwait") {
    // One process watches the whole time: a hint that shows for a few seconds is seen
    // however slowly the test's other commands start.
    // A hint still shown from before is not the one asked about: "ready" comes once none is.
    const DWORD limit = GetTickCount() + 1000u * static_cast<DWORD>(arg + 1 < argc ? _wtoi(argv[arg + 1]) : 20);
    bool ready = false;
    while (static_cast<LONG>(GetTickCount() - limit) < 0) {
      std::wstring shown;
      for (HWND tip : ToolTips(form)) {
        if (IsWindowVisible(tip) && shown.empty()) shown = Text(tip);
      }
      if (ready && !shown.empty()) {
        Out(shown);
        return 0;
      }
      if (!ready && shown.empty()) {
        ready = true;
        Out(L"ready");
      }
      Sleep(20);
    }
    return 1;
  }

  if (command == L"focus") {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    GetGUIThreadInfo(GetWindowThreadProcessId(form, nullptr), &info);
    std::wstring focus = info.hwndFocus == nullptr ? L"none" : L"other";
    if (info.hwndFocus == form) focus = L"Form";
    for (const ControlName& control : kControlNames) {
      if (info.hwndFocus != nullptr && Control(form, control.name) == info.hwndFocus) {
        wchar_t wide[64] = {0};
        MultiByteToWideChar(CP_UTF8, 0, control.name, -1, wide, 64);
        focus = wide;
      }
    }
    Out(focus + L"\t" + (info.hwndActive == form ? L"active" : L"inactive"));
    return 0;
  }

  if (command == L"dialogs") {
    for (HWND dialog : WindowsOfClass(form, L"#32770")) {
      if (IsWindowVisible(dialog)) Out(L"dialog\t" + Text(dialog));
    }
    return 0;
  }

  if (command == L"fontcheck") return FontCheck(form);
  if (command == L"layout") return Layout(form);

  Out(L"unknown command");
  return 2;
}
