// Command ids of the wizard's controls. ButtonCan carries the cancel id, so Esc and the
// button raise the same command. The names let a test driver find a control by its id.
#pragma once

enum ControlId : int {
  kIdButtonCan = 2,  // IDCANCEL
  kIdButtonBack = 101,
  kIdButtonNext = 102,
  kIdButtonFin = 103,
  kIdPanel1 = 110,
  kIdListView = 111,
  kIdLabel1 = 112,
  kIdButtonUpdate = 113,
  kIdPanel2 = 120,
  kIdLabelName = 121,
  kIdLabelPID = 122,
  kIdGroupBox = 123,
  kIdCBSymbol = 124,
  kIdGroupBox1 = 125,
  kIdEditFileName = 126,
  kIdLabel2 = 127,
  kIdButtonFileName = 128,
  kIdLabelMemsize = 129,
  kIdPanel3 = 130,
  kIdMemo = 131,
  kIdLabel3 = 132,
  kIdEditInst = 133,
  kIdUpDown1 = 134,
};

struct ControlName {
  int id;
  const char* name;
};

inline constexpr ControlName kControlNames[] = {
    {kIdButtonCan, "ButtonCan"},     {kIdButtonBack, "ButtonBack"},       {kIdButtonNext, "ButtonNext"},
    {kIdButtonFin, "ButtonFin"},     {kIdPanel1, "Panel1"},               {kIdListView, "ListView"},
    {kIdLabel1, "Label1"},           {kIdButtonUpdate, "ButtonUpdate"},   {kIdPanel2, "Panel2"},
    {kIdLabelName, "LabelName"},     {kIdLabelPID, "LabelPID"},           {kIdGroupBox, "GroupBox"},
    {kIdCBSymbol, "CBSymbol"},       {kIdGroupBox1, "GroupBox1"},         {kIdEditFileName, "EditFileName"},
    {kIdLabel2, "Label2"},           {kIdButtonFileName, "ButtonFileName"}, {kIdLabelMemsize, "LabelMemsize"},
    {kIdPanel3, "Panel3"},           {kIdMemo, "Memo"},                   {kIdLabel3, "Label3"},
    {kIdEditInst, "EditInst"},       {kIdUpDown1, "UpDown1"},
};

// The window class names, for finding the window from outside.
#define TARNHOLM_FORM_CLASS L"TMainForm"
#define TARNHOLM_APP_CLASS L"TApplication"
