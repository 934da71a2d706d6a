#include "app/main_form.h"

#include <commdlg.h>
#include <stdlib.h>

#include <algorithm>
#include <exception>

#include "app/control_ids.h"
#include "app/process_list.h"
#include "app/report_name.h"
#include "app/resource.h"
#include "app/wizard_dump.h"
#include "session/text_pane.h"

TMainForm* MainForm = nullptr;

namespace {

const wchar_t kPanelClass[] = L"TPanel";
const wchar_t kFormCaption[] = L"The Tarnholm";
const wchar_t kWindowFontFace[] = L"ＭＳ Ｐゴシック";
const wchar_t kMemoFontFace[] = L"ＭＳ ゴシック";
constexpr int kFontHeight = 12;
constexpr int kCheckBoxBoxAndGap = 20;  // design pixels before a check box's caption

// The window as laid out at 96 pixels per inch: outer size and the client size it gives.
// The program is DPI aware (its manifest): every size and the fonts are scaled to the
// pixels per inch of the window's monitor, and again when that changes.
constexpr int kFormLeft = 187;
constexpr int kFormTop = 113;
constexpr int kFormWidth = 404;
constexpr int kFormHeight = 402;
constexpr int kDesignClientWidth = 396;
constexpr int kDesignClientHeight = 375;

enum Anchor { kLeft = 1, kTop = 2, kRight = 4, kBottom = 8, kAll = kLeft | kTop | kRight | kBottom };

const wchar_t kHintFinDump[] = L"ダンプの取得";
const wchar_t kCaptionFin[] = L"終了(&F)";
const wchar_t kHintClose[] = L"終了";

constexpr LPARAM kRow64Bit = 64;  // the list item's data of a 64-bit process's row

const wchar_t kLabelNamePrefix[] = L"プログラム名：";
const wchar_t kLabelPIDPrefix[] = L"PID：";
const wchar_t kLabelMemsizePrefix[] = L"メモリー使用量：";

WNDPROC groupBoxBaseProc = nullptr;
WNDPROC toolTipBaseProc = nullptr;
WNDPROC labelBaseProc = nullptr;
constexpr UINT kDpiChangedMessage = 0x02E0;  // WM_DPICHANGED, Windows 8.1 and later

// The pixels per inch of the window's monitor where the system tells them (Windows 10
// and later), else those of the screen.
int WindowDpi(HWND window) {
  using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
  const auto getDpiForWindow = reinterpret_cast<GetDpiForWindowFunction>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
  if (window != nullptr && getDpiForWindow != nullptr) {
    const UINT dpi = getDpiForWindow(window);
    if (dpi != 0) return static_cast<int>(dpi);
  }
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : 96;
}

std::wstring Widen(const std::string& text) {
  if (text.empty()) return std::wstring();
  int length = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &wide[0], length);
  return wide;
}

std::string Narrow(const std::wstring& text) {
  if (text.empty()) return std::string();
  int length =
      WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &narrow[0], length, nullptr, nullptr);
  return narrow;
}

std::wstring WindowText(HWND window) {
  int length = GetWindowTextLengthW(window);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  length = GetWindowTextW(window, &text[0], length + 1);
  text.resize(static_cast<size_t>(length));
  return text;
}

std::wstring ResourceString(HINSTANCE instance, UINT id) {
  wchar_t buffer[256];
  int length = LoadStringW(instance, id, buffer, 256);
  return std::wstring(buffer, static_cast<size_t>(length > 0 ? length : 0));
}

bool OwnVisible(HWND window) { return (GetWindowLongW(window, GWL_STYLE) & WS_VISIBLE) != 0; }

void SetOwnVisible(HWND window, bool visible) {
  if (OwnVisible(window) != visible) ShowWindow(window, visible ? SW_SHOW : SW_HIDE);
}

void SetEnabled(HWND window, bool enabled) {
  if ((IsWindowEnabled(window) != FALSE) != enabled) EnableWindow(window, enabled);
}

// An exception that escapes an event handler is shown the standard way and the window
// goes on.
void ShowException(HWND owner, const std::exception& error) {
  MessageBoxA(owner, error.what(), "Tarnholm", MB_OK | MB_ICONSTOP);
}

// The program name, PID and memory labels show data, not captions: a "&" in a program's
// name is no access key. The dialog manager looks for access keys in labels that answer
// DLGC_STATIC, whatever SS_NOPREFIX says.
LRESULT CALLBACK DataLabelProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_GETDLGCODE) return 0;
  return CallWindowProcW(labelBaseProc, window, message, wParam, lParam);
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Save dialog

bool TSaveDialog::Execute(HWND owner) {
  static const wchar_t kFilter[] =
      L"テキストファイル (*.TXT)\0*.TXT\0ログファイル (*.LOG)\0*.LOG\0全てのファイル (*.*)\0*.*\0";
  std::vector<wchar_t> name(MAX_PATH * 4, L'\0');
  FileName.copy(name.data(), name.size() - 1);

  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = owner;
  dialog.lpstrFilter = kFilter;
  dialog.nFilterIndex = 1;
  dialog.lpstrFile = name.data();
  dialog.nMaxFile = static_cast<DWORD>(name.size());
  dialog.lpstrDefExt = L"TXT";
  dialog.Flags = OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_NOREADONLYRETURN |
                 OFN_ENABLESIZING | OFN_EXPLORER;
  if (!GetSaveFileNameW(&dialog)) return false;
  FileName = name.data();
  return true;
}

// ---------------------------------------------------------------------------------------
// Construction

bool TMainForm::RegisterClasses(HINSTANCE instance) {
  WNDCLASSEXW form{};
  form.cbSize = sizeof form;
  form.lpfnWndProc = FormProc;
  form.cbWndExtra = DLGWINDOWEXTRA;  // a dialog class: FormProc passes on to DefDlgProc
  form.hInstance = instance;
  form.hIcon = LoadIconW(instance, L"MAINICON");
  form.hIconSm = static_cast<HICON>(LoadImageW(instance, L"MAINICON", IMAGE_ICON, 16, 16, 0));
  form.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  form.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  form.lpszClassName = TARNHOLM_FORM_CLASS;
  if (!RegisterClassExW(&form)) return false;

  WNDCLASSEXW panel{};
  panel.cbSize = sizeof panel;
  panel.lpfnWndProc = PanelProc;
  panel.hInstance = instance;
  panel.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  panel.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  panel.lpszClassName = kPanelClass;
  return RegisterClassExW(&panel) != 0;
}

TMainForm::TMainForm(HINSTANCE instance, HWND application) : instance_(instance) {
  MainForm = this;
  dpi_ = WindowDpi(nullptr);
  CreateFonts();

  // Resizable frame, system menu and minimise box; no maximise box.
  const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_THICKFRAME | WS_CLIPCHILDREN;
  Handle = CreateWindowExW(WS_EX_CONTROLPARENT, TARNHOLM_FORM_CLASS, kFormCaption, style, kFormLeft, kFormTop,
                           Scale(kFormWidth), Scale(kFormHeight), application, nullptr, instance, this);
  if (Handle == nullptr) return;
  SendMessageW(Handle, WM_SETFONT, reinterpret_cast<WPARAM>(windowFont_), FALSE);

  toolTip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                             CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, Handle, nullptr, instance,
                             nullptr);
  SendMessageW(toolTip_, WM_SETFONT, reinterpret_cast<WPARAM>(windowFont_), FALSE);
  toolTipBaseProc = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrW(toolTip_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TMainForm::ToolTipProc)));

  BuildControls();

  RECT client;
  GetClientRect(Handle, &client);
  Layout(Handle, client.right, client.bottom);
  // On a monitor of its own pixels per inch the window starts with those.
  ChangeDpi(WindowDpi(Handle), nullptr);

  RefreshProcessList(false);
}

void TMainForm::CreateFonts() {
  windowFont_ = CreateFontW(-Scale(kFontHeight), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, SHIFTJIS_CHARSET,
                            OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, VARIABLE_PITCH | FF_SWISS,
                            kWindowFontFace);
  memoFont_ = CreateFontW(-Scale(kFontHeight), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, SHIFTJIS_CHARSET,
                          OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, FIXED_PITCH | FF_MODERN,
                          kMemoFontFace);
}

int TMainForm::Scale(int designPixels) const { return MulDiv(designPixels, dpi_, 96); }

// New fonts, label sizes, column widths and layout for dpi; the window takes the
// rectangle the system suggests, or keeps its top left corner.
void TMainForm::ChangeDpi(int dpi, const RECT* suggested) {
  if (dpi <= 0 || dpi == dpi_) return;
  const int old = dpi_;
  dpi_ = dpi;
  const HFONT oldWindowFont = windowFont_;
  const HFONT oldMemoFont = memoFont_;
  CreateFonts();
  SendMessageW(Handle, WM_SETFONT, reinterpret_cast<WPARAM>(windowFont_), FALSE);
  SendMessageW(toolTip_, WM_SETFONT, reinterpret_cast<WPARAM>(windowFont_), FALSE);
  for (const Anchored& entry : layout_) {
    const HFONT font = entry.control == Memo ? memoFont_ : windowFont_;
    SendMessageW(entry.control, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  }
  DeleteObject(oldWindowFont);
  DeleteObject(oldMemoFont);
  for (HWND label : {Label1, Label2, Label3, LabelName, LabelPID, LabelMemsize}) SetLabelText(label, WindowText(label));
  FitCheckBox(CBSymbol);
  for (int column = 0; column < 3; ++column) {
    const int width = static_cast<int>(SendMessageW(ListView, LVM_GETCOLUMNWIDTH, column, 0));
    SendMessageW(ListView, LVM_SETCOLUMNWIDTH, column, MulDiv(width, dpi, old));
  }
  RECT rect;
  if (suggested != nullptr) {
    rect = *suggested;
  } else {
    GetWindowRect(Handle, &rect);
    rect.right = rect.left + MulDiv(rect.right - rect.left, dpi, old);
    rect.bottom = rect.top + MulDiv(rect.bottom - rect.top, dpi, old);
  }
  SetWindowPos(Handle, nullptr, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top,
               SWP_NOZORDER | SWP_NOACTIVATE);
  // Every parent lays its controls out again, also one whose size came out the same.
  for (HWND parent : {Handle, Panel1, Panel2, GroupBox, GroupBox1, Panel3}) {
    RECT client;
    GetClientRect(parent, &client);
    Layout(parent, client.right, client.bottom);
  }
}

TMainForm::~TMainForm() {
  if (Handle != nullptr && IsWindow(Handle)) DestroyWindow(Handle);
  if (windowFont_ != nullptr) DeleteObject(windowFont_);
  if (memoFont_ != nullptr) DeleteObject(memoFont_);
  if (MainForm == this) MainForm = nullptr;
}

HWND TMainForm::Create(HWND parent, const wchar_t* className, const wchar_t* text, DWORD style, DWORD exStyle, int id,
                       int left, int top, int width, int height, int anchors, const wchar_t* hint) {
  HWND control = CreateWindowExW(exStyle, className, text, style | WS_CHILD | WS_CLIPSIBLINGS, Scale(left), Scale(top),
                                 Scale(left + width) - Scale(left), Scale(top + height) - Scale(top), parent,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance_, nullptr);
  if (control == nullptr) return nullptr;
  SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(windowFont_), FALSE);

  RECT parentClient;
  GetClientRect(parent, &parentClient);
  SIZE parentDesign = {parentClient.right, parentClient.bottom};
  if (parent == Handle) parentDesign = {kDesignClientWidth, kDesignClientHeight};
  for (const Anchored& entry : layout_) {
    if (entry.control == parent) {
      parentDesign = {entry.design.right - entry.design.left, entry.design.bottom - entry.design.top};
    }
  }
  layout_.push_back({control, parent, {left, top, left + width, top + height}, anchors, parentDesign});
  if (hint != nullptr) SetHint(control, hint);
  return control;
}

namespace {

// BS_NOTIFY: the form hears when a button takes the focus (HandleCommand).
constexpr DWORD kButtonStyle = WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON | BS_NOTIFY;
constexpr DWORD kPanelStyle = WS_CLIPCHILDREN;
constexpr DWORD kLabelStyle = WS_VISIBLE | WS_GROUP | SS_LEFT;
constexpr DWORD kGroupBoxStyle = WS_VISIBLE | BS_GROUPBOX | WS_CLIPCHILDREN;

}  // namespace

// Created in tab order, so the z-order of each parent, which the dialog manager walks,
// follows it. The pages come before the bottom buttons (the same cycle as buttons first),
// so the first tab stop of the window, where the dialog manager puts the focus, is the
// first control of the page shown. Each tab stop starts a group of its own for the
// arrows, except the row of bottom buttons, which is one group; labels end a group.
void TMainForm::BuildControls() {
  BuildProcessPage();
  Panel2 = Create(Handle, kPanelClass, L"", kPanelStyle, WS_EX_CONTROLPARENT, kIdPanel2, 8, 8, 377, 315, kAll);
  BuildOptionsGroup();
  BuildFileGroup();
  BuildProgressPage();
  BuildDataLabels();
  BuildBottomButtons();

  // The group boxes pass their children's notifications on to the window.
  groupBoxBaseProc = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(GroupBox, GWLP_WNDPROC));
  SetWindowLongPtrW(GroupBox, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(GroupBoxProc));
  SetWindowLongPtrW(GroupBox1, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(GroupBoxProc));
}

void TMainForm::BuildProcessPage() {
  Panel1 = Create(Handle, kPanelClass, L"", kPanelStyle | WS_VISIBLE, WS_EX_CONTROLPARENT, kIdPanel1, 8, 8, 377, 315,
                  kAll);
  ListView = Create(Panel1, WC_LISTVIEWW, L"",
                    WS_VISIBLE | WS_TABSTOP | WS_GROUP | LVS_REPORT | LVS_SINGLESEL | LVS_NOSORTHEADER,
                    WS_EX_CLIENTEDGE, kIdListView, 16, 32, 345, 243, kAll, L"ダンプを取得するプロセスを選択");
  ListView_SetExtendedListViewStyle(ListView, LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT);
  AddListColumns();
  ButtonUpdate = Create(Panel1, L"BUTTON", L"更新(&U)", kButtonStyle | WS_GROUP, 0, kIdButtonUpdate, 152, 282, 73, 25,
                        kBottom, L"最新の状態に更新");
  Label1 = Create(Panel1, L"STATIC", L"", kLabelStyle, 0, kIdLabel1, 16, 16, 231, 12, kLeft | kTop);
  SetLabelText(Label1, L"ダンプを取得するプロセスを選択してください。");
}

void TMainForm::AddListColumns() {
  struct Column {
    const wchar_t* header;
    int format;
    int width;
  };
  const Column columns[] = {
      {L"プログラム名", LVCFMT_LEFT, 170}, {L"PID", LVCFMT_RIGHT, 50}, {L"メモリー使用量", LVCFMT_RIGHT, 100}};
  for (int i = 0; i < 3; ++i) {
    LVCOLUMNW column{};
    column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    column.fmt = columns[i].format;
    column.cx = Scale(columns[i].width);
    column.pszText = const_cast<wchar_t*>(columns[i].header);
    column.iSubItem = i;
    SendMessageW(ListView, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&column));
  }
}

void TMainForm::BuildOptionsGroup() {
  GroupBox = Create(Panel2, L"BUTTON", L"オプション設定", kGroupBoxStyle, WS_EX_CONTROLPARENT, kIdGroupBox, 16, 88, 337,
                    81, kLeft | kTop);
  CBSymbol = Create(GroupBox, L"BUTTON", L"シンボルテーブル", WS_VISIBLE | WS_TABSTOP | WS_GROUP | BS_AUTOCHECKBOX, 0,
                    kIdCBSymbol, 16, 48, 105, 17, kLeft | kTop, L"シンボルテーブルをレポート");
  SendMessageW(CBSymbol, BM_SETCHECK, BST_CHECKED, 0);
  FitCheckBox(CBSymbol);
  EditInst = Create(GroupBox, L"EDIT", L"16",
                    WS_VISIBLE | WS_TABSTOP | WS_GROUP | ES_LEFT | ES_AUTOHSCROLL | ES_READONLY, WS_EX_CLIENTEDGE,
                    kIdEditInst, 128, 24, 25, 20, kLeft | kTop, L"スタックトレースにレポートする逆アセンブル命令数");
  UpDown1 = Create(GroupBox, UPDOWN_CLASSW, L"", WS_VISIBLE | UDS_SETBUDDYINT | UDS_ARROWKEYS | UDS_NOTHOUSANDS, 0,
                   kIdUpDown1, 153, 24, 12, 20, kLeft | kTop);
  SendMessageW(UpDown1, UDM_SETBUDDY, reinterpret_cast<WPARAM>(EditInst), 0);
  SendMessageW(UpDown1, UDM_SETRANGE32, 16, 200);
  UDACCEL step = {0, 1};
  SendMessageW(UpDown1, UDM_SETACCEL, 1, reinterpret_cast<LPARAM>(&step));
  SendMessageW(UpDown1, UDM_SETPOS32, 0, 16);
  Label3 = Create(GroupBox, L"STATIC", L"", kLabelStyle, 0, kIdLabel3, 16, 24, 100, 12, kLeft | kTop);
  SetLabelText(Label3, L"インストラクション数");
}

void TMainForm::BuildFileGroup() {
  GroupBox1 = Create(Panel2, L"BUTTON", L"ファイル設定", kGroupBoxStyle, WS_EX_CONTROLPARENT, kIdGroupBox1, 16, 184, 337,
                     57, kLeft | kTop | kRight);
  EditFileName = Create(GroupBox1, L"EDIT", L"", WS_VISIBLE | WS_TABSTOP | WS_GROUP | ES_LEFT | ES_AUTOHSCROLL,
                        WS_EX_CLIENTEDGE, kIdEditFileName, 64, 18, 201, 20, kLeft | kTop | kRight);
  ButtonFileName = Create(GroupBox1, L"BUTTON", L"参照(&R)", kButtonStyle | WS_GROUP, 0, kIdButtonFileName, 272, 16, 57,
                          25, kTop | kRight, L"ディレクトリを指定");
  Label2 = Create(GroupBox1, L"STATIC", L"", kLabelStyle, 0, kIdLabel2, 8, 24, 53, 12, kLeft | kTop);
  SetLabelText(Label2, L"レポート名");
}

// The progress page covers the whole options page when shown; what it covers is hidden
// then (WriteFlags).
void TMainForm::BuildProgressPage() {
  Panel3 = Create(Panel2, kPanelClass, L"", kPanelStyle, WS_EX_CONTROLPARENT, kIdPanel3, 0, 0, 377, 315, kAll);
  Memo = Create(Panel3, L"EDIT", L"",
                WS_VISIBLE | WS_TABSTOP | WS_GROUP | WS_HSCROLL | WS_VSCROLL | ES_MULTILINE | ES_READONLY |
                    ES_AUTOHSCROLL | ES_AUTOVSCROLL,
                WS_EX_CLIENTEDGE, kIdMemo, 16, 16, 345, 289, kLeft | kTop);
  SendMessageW(Memo, WM_SETFONT, reinterpret_cast<WPARAM>(memoFont_), FALSE);
  SendMessageW(Memo, EM_SETLIMITTEXT, 0, 0);
}

void TMainForm::BuildDataLabels() {
  const DWORD style = kLabelStyle | SS_NOPREFIX;
  LabelName = Create(Panel2, L"STATIC", L"LabelName", style, 0, kIdLabelName, 16, 16, 56, 12, kLeft | kTop);
  LabelPID = Create(Panel2, L"STATIC", L"LabelPID", style, 0, kIdLabelPID, 16, 40, 45, 12, kLeft | kTop);
  LabelMemsize = Create(Panel2, L"STATIC", L"LabelMemsize", style, 0, kIdLabelMemsize, 16, 64, 71, 12, kLeft | kTop);
  labelBaseProc = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(LabelName, GWLP_WNDPROC));
  for (HWND data : {LabelName, LabelPID, LabelMemsize}) {
    SetWindowLongPtrW(data, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(DataLabelProc));
  }
}

void TMainForm::BuildBottomButtons() {
  ButtonNext = Create(Handle, L"BUTTON", L"次へ (&N)>", kButtonStyle | WS_GROUP | WS_DISABLED, 0, kIdButtonNext, 80,
                      338, 73, 25, kLeft | kBottom, L"ダンプ取得画面");
  ButtonBack = Create(Handle, L"BUTTON", L"< 戻る(&B)", kButtonStyle | WS_DISABLED, 0, kIdButtonBack, 8, 338, 73, 25,
                      kLeft | kBottom, L"プロセス選択画面");
  ButtonFin = Create(Handle, L"BUTTON", kCaptionFin, (kButtonStyle & ~WS_VISIBLE), 0, kIdButtonFin, 200, 338, 73, 25,
                     kLeft | kBottom, kHintFinDump);
  ButtonCan = Create(Handle, L"BUTTON", L"キャンセル", kButtonStyle, 0, kIdButtonCan, 312, 338, 73, 25, kRight | kBottom,
                     L"ダンプを取らずに終了");
}

void TMainForm::SetHint(HWND control, const wchar_t* hint) {
  TOOLINFOW tool{};
  tool.cbSize = TTTOOLINFOW_V2_SIZE;
  tool.hwnd = Handle;
  tool.uId = reinterpret_cast<UINT_PTR>(control);
  const bool known = SendMessageW(toolTip_, TTM_GETTOOLINFOW, 0, reinterpret_cast<LPARAM>(&tool)) != 0;
  tool.uFlags = TTF_IDISHWND;  // the mouse messages come by RelayToHints
  tool.lpszText = const_cast<wchar_t*>(hint);
  SendMessageW(toolTip_, known ? TTM_UPDATETIPTEXTW : TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

std::wstring TMainForm::Hint(HWND control) const {
  wchar_t buffer[256] = {0};
  TOOLINFOW tool{};
  tool.cbSize = TTTOOLINFOW_V2_SIZE;
  tool.hwnd = Handle;
  tool.uId = reinterpret_cast<UINT_PTR>(control);
  tool.lpszText = buffer;
  SendMessageW(toolTip_, TTM_GETTEXTW, 256, reinterpret_cast<LPARAM>(&tool));
  return buffer;
}

// The width and height of text in the window's font, in pixels.
SIZE TMainForm::TextExtent(HWND control, const std::wstring& text) const {
  HDC dc = GetDC(control);
  HGDIOBJ previous = SelectObject(dc, windowFont_);
  SIZE extent = {0, 0};
  GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &extent);
  if (extent.cy == 0) {
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    extent.cy = metrics.tmHeight;
  }
  SelectObject(dc, previous);
  ReleaseDC(control, dc);
  return extent;
}

// A control's design extent rounded up from pixels, so the scaled size holds them.
int TMainForm::DesignPixels(int pixels) const { return (pixels * 96 + dpi_ - 1) / dpi_; }

// Labels take the size of their text: its width, and the height of the font, which at a
// larger size or in another face can be more than the design's 12 pixels.
void TMainForm::SetLabelText(HWND label, const std::wstring& text) {
  SetWindowTextW(label, text.c_str());
  const SIZE extent = TextExtent(label, text);
  for (Anchored& entry : layout_) {
    if (entry.control != label) continue;
    entry.design.right = entry.design.left + DesignPixels(extent.cx);
    entry.design.bottom = entry.design.top + (std::max)(kFontHeight, DesignPixels(extent.cy));
    SetWindowPos(label, nullptr, 0, 0, Scale(entry.design.right) - Scale(entry.design.left),
                 Scale(entry.design.bottom) - Scale(entry.design.top), SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

// The check box keeps its design width unless its caption, after the box, needs more.
void TMainForm::FitCheckBox(HWND checkBox) {
  const SIZE extent = TextExtent(checkBox, WindowText(checkBox));
  for (Anchored& entry : layout_) {
    if (entry.control != checkBox) continue;
    const int needed = DesignPixels(extent.cx) + kCheckBoxBoxAndGap;
    entry.design.right = (std::max)(entry.design.right, entry.design.left + needed);
    SetWindowPos(checkBox, nullptr, 0, 0, Scale(entry.design.right) - Scale(entry.design.left),
                 Scale(entry.design.bottom) - Scale(entry.design.top), SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

// Keeps every control of parent at its anchored distances for the parent's new size.
void TMainForm::Layout(HWND parent, int width, int height) {
  for (const Anchored& entry : layout_) {
    if (entry.parent != parent) continue;
    const int dx = width - Scale(entry.parentDesign.cx);
    const int dy = height - Scale(entry.parentDesign.cy);
    int left = Scale(entry.design.left), right = Scale(entry.design.right);
    int top = Scale(entry.design.top), bottom = Scale(entry.design.bottom);
    if ((entry.anchors & kRight) != 0) {
      right += dx;
      if ((entry.anchors & kLeft) == 0) left += dx;
    } else if ((entry.anchors & kLeft) == 0) {
      left += dx / 2;
      right += dx / 2;
    }
    if ((entry.anchors & kBottom) != 0) {
      bottom += dy;
      if ((entry.anchors & kTop) == 0) top += dy;
    } else if ((entry.anchors & kTop) == 0) {
      top += dy / 2;
      bottom += dy / 2;
    }
    RECT now;
    GetWindowRect(entry.control, &now);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&now), 2);
    if (now.left == left && now.top == top && now.right == right && now.bottom == bottom) continue;
    SetWindowPos(entry.control, nullptr, left, top, right - left, bottom - top, SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

// ---------------------------------------------------------------------------------------
// Flags and pages

WizardFlags TMainForm::ReadFlags() const {
  WizardFlags flags;
  flags.panel1Visible = OwnVisible(Panel1);
  flags.panel2Visible = OwnVisible(Panel2);
  flags.panel3Visible = OwnVisible(Panel3);
  flags.backVisible = OwnVisible(ButtonBack);
  flags.backEnabled = IsWindowEnabled(ButtonBack) != FALSE;
  flags.nextVisible = OwnVisible(ButtonNext);
  flags.nextEnabled = IsWindowEnabled(ButtonNext) != FALSE;
  flags.finVisible = OwnVisible(ButtonFin);
  flags.finHintClose = Hint(ButtonFin) == ResourceString(instance_, IDS_FINISH_HINT);
  flags.rowSelected = SelectedRow() >= 0;
  flags.rowIs64Bit = flags.rowSelected && RowIs64Bit(SelectedRow());
  return flags;
}

void TMainForm::WriteFlags(const WizardFlags& flags) {
  SetOwnVisible(Panel1, flags.panel1Visible);
  SetOwnVisible(Panel2, flags.panel2Visible);
  SetOwnVisible(ButtonFin, flags.finVisible);
  SetEnabled(ButtonBack, flags.backEnabled);
  SetEnabled(ButtonNext, flags.nextEnabled);
  // The controls the progress page covers are hidden with it shown, so neither Tab nor an
  // access key reaches them.
  for (HWND covered = GetWindow(Panel2, GW_CHILD); covered != nullptr; covered = GetWindow(covered, GW_HWNDNEXT)) {
    if (covered != Panel3) SetOwnVisible(covered, !flags.panel3Visible);
  }
  SetOwnVisible(Panel3, flags.panel3Visible);
  SetOwnVisible(ButtonBack, flags.backVisible);
  SetOwnVisible(ButtonNext, flags.nextVisible);
  if (flags.finHintClose && !ReadFlags().finHintClose) {
    SetWindowTextW(ButtonFin, ResourceString(instance_, IDS_FINISH_CAPTION).c_str());
    SetHint(ButtonFin, ResourceString(instance_, IDS_FINISH_HINT).c_str());
  }
  KeepFocusUsable();
}

void TMainForm::ShowPage(int page) {
  WizardFlags flags = ReadFlags();
  ::ShowPage(flags, page);
  WriteFlags(flags);
}

int TMainForm::SelectedRow() const {
  return static_cast<int>(SendMessageW(ListView, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

bool TMainForm::RowIs64Bit(int row) const {
  LVITEMW item{};
  item.mask = LVIF_PARAM;
  item.iItem = row;
  return SendMessageW(ListView, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item)) && item.lParam == kRow64Bit;
}

std::wstring TMainForm::RowText(int row, int subItem) const {
  wchar_t buffer[MAX_PATH + 16] = {0};
  LVITEMW item{};
  item.iSubItem = subItem;
  item.pszText = buffer;
  item.cchTextMax = MAX_PATH + 16;
  SendMessageW(ListView, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
  return buffer;
}

void TMainForm::RefreshProcessList(bool clear) {
  if (clear) SendMessageW(ListView, LVM_DELETEALLITEMS, 0, 0);
  std::vector<ProcessRow> rows;
  // 64-bit processes too, marked, as the companion lists them; Next refuses them.
  if (!CollectProcessRows(rows, true)) return;

  // Rows arrive sorted; each goes after the rows already listed whose captions do not
  // compare greater, so the list stays in caption order whatever it held before.
  int count = static_cast<int>(SendMessageW(ListView, LVM_GETITEMCOUNT, 0, 0));
  int position = 0;
  for (const ProcessRow& row : rows) {
    std::wstring caption = ListedName(row);
    const std::string sortKey = Narrow(caption);
    while (position < count && lstrcmpA(Narrow(RowText(position, 0)).c_str(), sortKey.c_str()) <= 0) ++position;
    std::wstring pid = Widen(row.pidText);
    std::wstring memory = Widen(row.memoryText);
    LVITEMW item{};
    item.mask = LVIF_TEXT | LVIF_PARAM;
    item.iItem = position;
    item.pszText = &caption[0];
    item.lParam = row.is64Bit ? kRow64Bit : 0;
    int index = static_cast<int>(SendMessageW(ListView, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
    if (index < 0) continue;
    LVITEMW sub{};
    sub.iSubItem = 1;
    sub.pszText = &pid[0];
    SendMessageW(ListView, LVM_SETITEMTEXTW, index, reinterpret_cast<LPARAM>(&sub));
    sub.iSubItem = 2;
    sub.pszText = &memory[0];
    SendMessageW(ListView, LVM_SETITEMTEXTW, index, reinterpret_cast<LPARAM>(&sub));
    position = index + 1;
    ++count;
  }
  // No row stays selected after a refresh.
  ListView_SetItemState(ListView, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
  WizardFlags flags = ReadFlags();
  AfterRefresh(flags);
  WriteFlags(flags);
}

// ---------------------------------------------------------------------------------------
// Event handlers

void TMainForm::ButtonCanClick(HWND) { Close(); }

void TMainForm::ButtonBackClick(HWND) {
  ShowPage(kProcessPage);
  RefreshProcessList(true);
}

void TMainForm::ButtonUpdateClick(HWND) { RefreshProcessList(true); }

void TMainForm::ListViewSelectItem(HWND, int, bool selected) {
  WizardFlags flags = ReadFlags();
  SelectionChanged(flags, selected || SelectedRow() >= 0);
  WriteFlags(flags);
}

void TMainForm::ButtonNextClick(HWND) {
  SYSTEMTIME now;
  GetLocalTime(&now);
  WizardFlags flags = ReadFlags();
  switch (PressNext(flags)) {
    case NextOutcome::kNothing:
      return;
    case NextOutcome::kRefuse64Bit:
      RefuseSelectedRow();
      return;
    case NextOutcome::kOptions:
      break;
  }
  const int row = SelectedRow();
  const std::wstring caption = RowText(row, 0);

  // Everything is set before the window paints again.
  SendMessageW(Handle, WM_SETREDRAW, FALSE, 0);
  WriteFlags(flags);
  SetLabelText(LabelName, kLabelNamePrefix + caption);
  SetLabelText(LabelPID, kLabelPIDPrefix + RowText(row, 1));
  SetLabelText(LabelMemsize, kLabelMemsizePrefix + RowText(row, 2));
  const uint32_t processId = static_cast<uint32_t>(wcstoul(RowText(row, 1).c_str(), nullptr, 10));
  SetWindowTextW(EditFileName, DefaultReportName(caption, processId, now, ReportDirectory()).c_str());
  SendMessageW(Handle, WM_SETREDRAW, TRUE, 0);
  RedrawWindow(Handle, nullptr, nullptr, RDW_ERASE | RDW_FRAME | RDW_INVALIDATE | RDW_ALLCHILDREN);
  // The disabled Next button lost the focus while redrawing was off: check again now that
  // the page is shown.
  KeepFocusUsable();
}

// The process page stays; the row stays selected, so another one is a click away.
void TMainForm::RefuseSelectedRow() {
  const int row = SelectedRow();
  const std::wstring name = ProgramNameOfListed(RowText(row, 0));
  MessageBoxW(Handle, SixtyFourBitRefusal(name, RowText(row, 1)).c_str(), L"Tarnholm", MB_OK | MB_ICONINFORMATION);
}

void TMainForm::ButtonFileNameClick(HWND) {
  SaveDialog.FileName = WindowText(EditFileName);
  if (SaveDialog.Execute(Handle)) SetWindowTextW(EditFileName, SaveDialog.FileName.c_str());
}

void TMainForm::AppendMemoLine(void* context, const char* line) {
  HWND memo = static_cast<HWND>(context);
  std::wstring text = Widen(line != nullptr ? line : "");
  const int length = GetWindowTextLengthW(memo);
  if (length > 0) text.insert(0, L"\r\n");
  SendMessageW(memo, EM_SETSEL, length, length);
  SendMessageW(memo, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
  // The caret goes to the start of the new line, so the pane shows it from its left end.
  const LRESULT lastLine = SendMessageW(memo, EM_GETLINECOUNT, 0, 0) - 1;
  const LRESULT lineStart = SendMessageW(memo, EM_LINEINDEX, lastLine, 0);
  SendMessageW(memo, EM_SETSEL, lineStart, lineStart);
  SendMessageW(memo, EM_SCROLLCARET, 0, 0);
  // The dump runs on this thread without pumping messages: paint the new line now.
  RedrawWindow(memo, nullptr, nullptr, RDW_UPDATENOW | RDW_ERASENOW | RDW_FRAME);
}

void TMainForm::ButtonFinClick(HWND) {
  WizardFlags flags = ReadFlags();
  switch (BeginFinish(flags)) {
    case FinishAction::kNothing:
      return;
    case FinishAction::kCloseWindow:
      Close();
      return;
    case FinishAction::kStartDump:
      break;
  }
  WriteFlags(flags);
  RedrawWindow(Handle, nullptr, nullptr, RDW_UPDATENOW | RDW_ERASENOW | RDW_ALLCHILDREN);

  DumpChoices choices;
  // The name as typed or chosen, in wide text: narrowing it could name a different file.
  choices.reportPath = WindowText(EditFileName);
  choices.options.instructionCount = static_cast<int32_t>(atoi(Narrow(WindowText(EditInst)).c_str()));
  choices.options.symbolTableEnabled = SendMessageW(CBSymbol, BM_GETCHECK, 0, 0) == BST_CHECKED;
  choices.processId = static_cast<uint32_t>(atoi(Narrow(RowText(SelectedRow(), 1)).c_str()));
  TextPane pane = {&TMainForm::AppendMemoLine, Memo};
  EndFinish(flags, RunWizardDump(choices, pane));
  WriteFlags(flags);

  // What a person typed or clicked while the dump ran is dropped: the window did not react.
  MSG pending;
  while (PeekMessageW(&pending, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE)) {
  }
  while (PeekMessageW(&pending, nullptr, WM_MOUSEFIRST, WM_MOUSELAST, PM_REMOVE)) {
  }
  while (PeekMessageW(&pending, nullptr, WM_NCMOUSEMOVE, WM_NCMBUTTONDBLCLK, PM_REMOVE)) {
  }
}

void TMainForm::Close() { PostMessageW(Handle, WM_CLOSE, 0, 0); }

// ---------------------------------------------------------------------------------------
// Keyboard
//
// The system's dialog manager runs the keyboard: IsDialogMessage in the message loop, the
// form's class a dialog class whose default procedure is DefDlgProc. Tab and Shift+Tab
// visit the WS_TABSTOP controls that are shown and enabled, arrows move within a WS_GROUP,
// Esc is IDCANCEL (ButtonCan), access keys press the shown and enabled button with that
// "&" character, and focus is kept and given back when another window was active. No
// button is the default one: Enter presses the push button that has the focus.

// A control loses the focus when it is disabled or hidden, which leaves the keyboard with
// nowhere to go: the first tab stop of the page now shown takes it over.
void TMainForm::KeepFocusUsable() {
  if (GetActiveWindow() != Handle) return;
  HWND focus = GetFocus();
  bool usable = focus != nullptr && IsChild(Handle, focus) && IsWindowEnabled(focus);
  for (HWND window = focus; usable && window != Handle; window = GetParent(window)) usable = OwnVisible(window);
  if (usable) return;
  const HWND first = GetNextDlgTabItem(Handle, nullptr, FALSE);
  if (first != nullptr) SendMessageW(Handle, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(first), TRUE);
}

// The control under a screen point, disabled ones included: the system gives the mouse
// messages over a disabled button to its parent.
HWND TMainForm::ControlAt(POINT screen) const {
  HWND window = Handle;
  for (;;) {
    POINT client = screen;
    ScreenToClient(window, &client);
    const HWND child = ChildWindowFromPointEx(window, client, CWP_SKIPINVISIBLE | CWP_SKIPTRANSPARENT);
    if (child == nullptr || child == window) return window;
    window = child;
  }
}

// The hints see the mouse through this relay rather than by subclassing each control,
// which would leave them blind over a disabled button.
void TMainForm::RelayToHints(const MSG& msg) {
  if (toolTip_ == nullptr || msg.message < WM_MOUSEFIRST || msg.message > WM_MOUSELAST) return;
  if (msg.hwnd != Handle && !IsChild(Handle, msg.hwnd)) return;
  MSG relayed = msg;
  relayed.hwnd = ControlAt(msg.pt);
  POINT client = msg.pt;
  ScreenToClient(relayed.hwnd, &client);
  relayed.lParam = MAKELPARAM(client.x, client.y);
  SendMessageW(toolTip_, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&relayed));
}

bool TMainForm::PreTranslateMessage(const MSG& msg) {
  if (Handle == nullptr) return false;
  if (msg.hwnd != Handle && !IsChild(Handle, msg.hwnd)) return false;
  RelayToHints(msg);
  return false;
}

// ---------------------------------------------------------------------------------------
// Window procedures

TMainForm* TMainForm::FromWindow(HWND window) {
  HWND root = GetAncestor(window, GA_ROOT);
  return reinterpret_cast<TMainForm*>(GetWindowLongPtrW(root, GWLP_USERDATA));
}

bool TMainForm::HandleCommand(HWND sender, int id, int code) {
  // A push button focused by the mouse is marked as the one Enter presses, as the dialog
  // manager marks it when the keyboard moves there.
  if (code == BN_SETFOCUS) {
    SendMessageW(Handle, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(sender), TRUE);
    return true;
  }
  // With BS_NOTIFY the second click of a double click comes as its own code.
  if (code != BN_CLICKED && code != BN_DOUBLECLICKED) return false;
  switch (id) {
    case kIdButtonCan: ButtonCanClick(sender); return true;
    case kIdButtonBack: ButtonBackClick(sender); return true;
    case kIdButtonUpdate: ButtonUpdateClick(sender); return true;
    case kIdButtonNext: ButtonNextClick(sender); return true;
    case kIdButtonFileName: ButtonFileNameClick(sender); return true;
    case kIdButtonFin: ButtonFinClick(sender); return true;
    default: return false;
  }
}

bool TMainForm::HandleNotify(const NMHDR* header) {
  if (header->hwndFrom != ListView || header->code != LVN_ITEMCHANGED) return false;
  const NMLISTVIEW* change = reinterpret_cast<const NMLISTVIEW*>(header);
  if ((change->uChanged & LVIF_STATE) == 0 || change->iItem < 0) return true;
  if (((change->uOldState ^ change->uNewState) & LVIS_SELECTED) == 0) return true;
  ListViewSelectItem(ListView, change->iItem, (change->uNewState & LVIS_SELECTED) != 0);
  return true;
}

// Read-only edits keep the window colour, as editable ones have.
LRESULT TMainForm::ControlColor(UINT message, HDC dc, HWND control, HWND parent) {
  if (message == WM_CTLCOLORSTATIC && MainForm != nullptr && (control == MainForm->Memo || control == MainForm->EditInst)) {
    SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
    SetBkColor(dc, GetSysColor(COLOR_WINDOW));
    return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
  }
  return DefWindowProcW(parent, message, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(control));
}

LRESULT TMainForm::ForwardToForm(HWND window, UINT message, WPARAM wParam, LPARAM lParam, bool& handled) {
  handled = false;
  TMainForm* form = FromWindow(window);
  if (form == nullptr) return 0;
  try {
    switch (message) {
      case WM_COMMAND:
        handled = form->HandleCommand(reinterpret_cast<HWND>(lParam), LOWORD(wParam), HIWORD(wParam));
        return 0;
      case WM_NOTIFY:
        handled = form->HandleNotify(reinterpret_cast<const NMHDR*>(lParam));
        return 0;
      case WM_CTLCOLORSTATIC:
        handled = true;
        return ControlColor(message, reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam), window);
      case WM_SIZE:
        form->Layout(window, LOWORD(lParam), HIWORD(lParam));
        return 0;
      default:
        return 0;
    }
  } catch (const std::exception& error) {
    handled = true;
    ShowException(form->Handle, error);
    return 0;
  }
}

LRESULT CALLBACK TMainForm::FormProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    const CREATESTRUCTW* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  switch (message) {
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_CTLCOLORSTATIC:
    case WM_SIZE: {
      bool handled = false;
      LRESULT result = ForwardToForm(window, message, wParam, lParam, handled);
      if (handled) return result;
      break;
    }
    case WM_SYSCOMMAND:
      // Minimising goes through the application window, which carries the task-bar button.
      if ((wParam & 0xFFF0) == SC_MINIMIZE && GetWindow(window, GW_OWNER) != nullptr) {
        ShowWindow(GetWindow(window, GW_OWNER), SW_MINIMIZE);
        return 0;
      }
      break;
    case WM_CLOSE:
      // Not the dialog's way (a cancel command): the window is closed, as by ButtonCanClick.
      return DefWindowProcW(window, message, wParam, lParam);
    case kDpiChangedMessage: {
      TMainForm* form = FromWindow(window);
      if (form == nullptr || form->ListView == nullptr) break;
      form->ChangeDpi(HIWORD(wParam), reinterpret_cast<const RECT*>(lParam));
      return 0;
    }
    case WM_ACTIVATE: {
      // The dialog manager gives the focus back to the control that had it before another
      // window was active; at the first activation there is none, and the page's first
      // control takes it.
      const LRESULT result = DefDlgProcW(window, message, wParam, lParam);
      TMainForm* form = FromWindow(window);
      if (form != nullptr && LOWORD(wParam) != WA_INACTIVE && HIWORD(wParam) == 0) form->KeepFocusUsable();
      return result;
    }
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      break;
  }
  return DefDlgProcW(window, message, wParam, lParam);
}

LRESULT CALLBACK TMainForm::PanelProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_CTLCOLORSTATIC:
    case WM_SIZE: {
      bool handled = false;
      LRESULT result = ForwardToForm(window, message, wParam, lParam, handled);
      if (handled) return result;
      break;
    }
    case WM_NEXTDLGCTL:
      // The text pane, a multi-line edit, asks its parent to move on at Tab and to close
      // at Esc, as it would ask a dialog.
      return SendMessageW(GetAncestor(window, GA_ROOT), message, wParam, lParam);
    case WM_CLOSE:
      PostMessageW(GetAncestor(window, GA_ROOT), WM_CLOSE, 0, 0);
      return 0;
    case WM_PAINT: {
      // A raised bevel one pixel wide, no caption.
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(window, &paint);
      RECT rect;
      GetClientRect(window, &rect);
      DrawEdge(dc, &rect, BDR_RAISEDINNER, BF_RECT);
      EndPaint(window, &paint);
      return 0;
    }
    default:
      break;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT CALLBACK TMainForm::GroupBoxProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_CTLCOLORSTATIC:
    case WM_SIZE: {
      bool handled = false;
      LRESULT result = ForwardToForm(window, message, wParam, lParam, handled);
      if (handled) return result;
      break;
    }
    case WM_ERASEBKGND: {
      RECT rect;
      GetClientRect(window, &rect);
      FillRect(reinterpret_cast<HDC>(wParam), &rect, GetSysColorBrush(COLOR_BTNFACE));
      return 1;
    }
    default:
      break;
  }
  return CallWindowProcW(groupBoxBaseProc, window, message, wParam, lParam);
}

// The hints ask which window is under the pointer before they show and while they stay;
// the answer includes a disabled button, which the system's own answer passes over.
LRESULT CALLBACK TMainForm::ToolTipProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == TTM_WINDOWFROMPOINT && MainForm != nullptr && lParam != 0) {
    const POINT point = *reinterpret_cast<const POINT*>(lParam);
    const HWND under = WindowFromPoint(point);
    if (under == MainForm->Handle || IsChild(MainForm->Handle, under)) {
      return reinterpret_cast<LRESULT>(MainForm->ControlAt(point));
    }
  }
  return CallWindowProcW(toolTipBaseProc, window, message, wParam, lParam);
}
