// The program's only window: a three-page wizard. The process page (Panel1) lists the
// running processes, the options page (Panel2) takes the dump options and the report name,
// and the progress page (Panel3, inside Panel2 and covering it) shows the session's lines.
// Which page is shown and which buttons are usable live in the controls' own flags.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "app/wizard_flow.h"

// The modal save-file dialog of the options page.
class TSaveDialog {
 public:
  std::wstring FileName;
  // True when the user confirmed a name; FileName then holds it as a full path.
  bool Execute(HWND owner);
};

class TMainForm {
 public:
  HWND Handle = nullptr;

  HWND ButtonCan = nullptr;
  HWND ButtonBack = nullptr;
  HWND ButtonNext = nullptr;
  HWND ButtonFin = nullptr;
  HWND Panel1 = nullptr;
  HWND ListView = nullptr;
  HWND Label1 = nullptr;
  HWND ButtonUpdate = nullptr;
  HWND Panel2 = nullptr;
  HWND LabelName = nullptr;
  HWND LabelPID = nullptr;
  HWND GroupBox = nullptr;
  HWND CBSymbol = nullptr;
  HWND GroupBox1 = nullptr;
  HWND EditFileName = nullptr;
  TSaveDialog SaveDialog;
  HWND Label2 = nullptr;
  HWND ButtonFileName = nullptr;
  HWND LabelMemsize = nullptr;
  HWND Panel3 = nullptr;
  HWND Memo = nullptr;
  HWND Label3 = nullptr;
  HWND EditInst = nullptr;
  HWND UpDown1 = nullptr;

  // Builds the window and its controls (owned by the application window) and fills the
  // process list. Handle stays null when the window could not be made.
  TMainForm(HINSTANCE instance, HWND application);
  ~TMainForm();
  TMainForm(const TMainForm&) = delete;
  TMainForm& operator=(const TMainForm&) = delete;

  void ButtonCanClick(HWND sender);
  void ButtonBackClick(HWND sender);
  void ButtonUpdateClick(HWND sender);
  void ListViewSelectItem(HWND sender, int item, bool selected);
  void ButtonNextClick(HWND sender);
  void ButtonFileNameClick(HWND sender);
  void ButtonFinClick(HWND sender);

  void ShowPage(int page);
  void RefreshProcessList(bool clear);

  // Sees every message of the window before the dialog manager (IsDialogMessage), which
  // runs the keyboard: the mouse is relayed to the hints, so a disabled button shows its
  // hint too. True when msg was consumed (never, at present).
  bool PreTranslateMessage(const MSG& msg);

  static bool RegisterClasses(HINSTANCE instance);

 private:
  struct Anchored {
    HWND control;
    HWND parent;
    RECT design;  // left, top, right, bottom at the parent's design size
    int anchors;
    SIZE parentDesign;
  };

  HINSTANCE instance_ = nullptr;
  HFONT windowFont_ = nullptr;
  HFONT memoFont_ = nullptr;
  HWND toolTip_ = nullptr;
  int dpi_ = 96;  // pixels per inch of the window's monitor; the layout is designed at 96
  std::vector<Anchored> layout_;

  HWND Create(HWND parent, const wchar_t* className, const wchar_t* text, DWORD style, DWORD exStyle, int id,
              int left, int top, int width, int height, int anchors, const wchar_t* hint = nullptr);
  void BuildControls();
  void BuildProcessPage();
  void AddListColumns();
  void BuildOptionsGroup();
  void BuildFileGroup();
  void BuildProgressPage();
  void BuildDataLabels();
  void BuildBottomButtons();
  void CreateFonts();
  int Scale(int designPixels) const;
  void ChangeDpi(int dpi, const RECT* suggested);
  void SetHint(HWND control, const wchar_t* hint);
  std::wstring Hint(HWND control) const;
  void SetLabelText(HWND label, const std::wstring& text);
  void FitCheckBox(HWND checkBox);
  SIZE TextExtent(HWND control, const std::wstring& text) const;
  int DesignPixels(int pixels) const;
  void Layout(HWND parent, int width, int height);

  WizardFlags ReadFlags() const;
  void WriteFlags(const WizardFlags& flags);
  int SelectedRow() const;
  std::wstring RowText(int row, int subItem) const;
  bool RowIs64Bit(int row) const;
  void RefuseSelectedRow();
  void KeepFocusUsable();
  HWND ControlAt(POINT screen) const;
  void RelayToHints(const MSG& msg);
  void Close();

  bool HandleCommand(HWND sender, int id, int code);
  bool HandleNotify(const NMHDR* header);
  static LRESULT ControlColor(UINT message, HDC dc, HWND control, HWND parent);

  static TMainForm* FromWindow(HWND window);
  static LRESULT CALLBACK FormProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK PanelProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK ToolTipProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK GroupBoxProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT ForwardToForm(HWND window, UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
  static void AppendMemoLine(void* context, const char* line);
};

// The single instance, made by the program start.
extern TMainForm* MainForm;
