#include "app/application.h"

#include "app/control_ids.h"

namespace {
HWND mainWindowOf = nullptr;
}

TApplication::TApplication(HINSTANCE instance) {
  WNDCLASSEXW type{};
  type.cbSize = sizeof type;
  type.lpfnWndProc = Proc;
  type.hInstance = instance;
  type.hIcon = LoadIconW(instance, L"MAINICON");
  type.hIconSm = static_cast<HICON>(LoadImageW(instance, L"MAINICON", IMAGE_ICON, 16, 16, 0));
  type.lpszClassName = TARNHOLM_APP_CLASS;
  if (!RegisterClassExW(&type)) return;
  const int x = GetSystemMetrics(SM_CXSCREEN) / 2;
  const int y = GetSystemMetrics(SM_CYSCREEN) / 2;
  Handle = CreateWindowExW(0, TARNHOLM_APP_CLASS, L"", WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS | WS_SYSMENU | WS_MINIMIZEBOX,
                           x, y, 0, 0, nullptr, nullptr, instance, nullptr);
}

TApplication::~TApplication() {
  if (Handle != nullptr && IsWindow(Handle)) DestroyWindow(Handle);
}

void TApplication::SetTitle(const wchar_t* title) {
  if (Handle != nullptr) SetWindowTextW(Handle, title);
}

void TApplication::ShowButton() {
  if (Handle == nullptr) return;
  ShowWindow(Handle, SW_SHOWNOACTIVATE);
  SetWindowPos(Handle, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TApplication::Run(HWND mainWindow, bool (*preTranslate)(const MSG& msg)) {
  mainWindowOf = mainWindow;
  ShowWindow(mainWindow, SW_SHOWNORMAL);
  UpdateWindow(mainWindow);
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (preTranslate != nullptr && preTranslate(msg)) continue;
    if (IsWindow(mainWindow) && IsDialogMessageW(mainWindow, &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  mainWindowOf = nullptr;
}

LRESULT CALLBACK TApplication::Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_ACTIVATE:
    case WM_SETFOCUS:
      // Coming back from the task bar: the main window takes the focus.
      if ((message == WM_SETFOCUS || LOWORD(wParam) != WA_INACTIVE) && mainWindowOf != nullptr &&
          IsWindowVisible(mainWindowOf) && IsWindowEnabled(mainWindowOf)) {
        SetActiveWindow(mainWindowOf);
      }
      break;
    case WM_CLOSE:
      if (mainWindowOf != nullptr) PostMessageW(mainWindowOf, WM_CLOSE, 0, 0);
      return 0;
    default:
      break;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}
