// The application window: never seen itself, it carries the task-bar button with the
// application title and owns the main window, as the toolkit's application object does.
#pragma once

#include <windows.h>

class TApplication {
 public:
  HWND Handle = nullptr;

  explicit TApplication(HINSTANCE instance);
  ~TApplication();
  TApplication(const TApplication&) = delete;
  TApplication& operator=(const TApplication&) = delete;

  void SetTitle(const wchar_t* title);
  // Shows the task-bar button (the window itself has no size).
  void ShowButton();
  // Shows the main window and runs the message loop until it is closed.
  void Run(HWND mainWindow, bool (*preTranslate)(const MSG& msg));

 private:
  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
};
