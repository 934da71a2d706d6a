// The text pane the session writes its progress and failure lines to: one append-one-line
// operation, served by the wizard's Memo, by stdout in the companion, by a recorder in tests.
#pragma once

struct TextPane {
  void (*appendLine)(void* context, const char* line);
  void* context;
};
