// The thread and module tables, filled from the events that attaching produces, and the
// start of the symbol handler for the target.
#include <string.h>

#include "session/ansi_text.h"
#include "session/log_file.h"

void CLogFile::AddThread(HANDLE hThread, uint32_t threadId) { threads.emplace_back(hThread, threadId); }

void CLogFile::RemoveThread(uint32_t threadId) {
  for (size_t i = 0; i < threads.size(); ++i) {
    if (threads[i].threadId == threadId) {
      threads.erase(threads.begin() + static_cast<std::ptrdiff_t>(i));
      return;
    }
  }
}

void CLogFile::AddModule(const CModule& module) { modules.push_back(module); }

void CLogFile::UnloadModule(uint32_t base) {
  for (size_t i = modules.size(); i-- > 0;) {
    if (modules[i].base == base && modules[i].loaded) {
      modules[i].loaded = false;
      return;
    }
  }
}

std::string CLogFile::BuildSymbolSearchPath() {
  static const char* const kVariables[] = {"_NT_SYMBOL_PATH", "_NT_ALT_SYMBOL_PATH", "SystemRoot"};
  std::string path;
  for (const char* name : kVariables) {
    DWORD length = GetEnvironmentVariableA(name, nullptr, 0);
    if (length <= 1) continue;  // unset, or set to the empty text
    std::string value(length, '\0');
    length = GetEnvironmentVariableA(name, &value[0], length);
    if (length == 0) continue;
    value.resize(length);
    path += value;
    path += ';';
  }
  return path;
}

#ifdef _WIN32
// Vista's, declared here as the build's Windows version predates it; Wine has it.
extern "C" DWORD WINAPI GetFinalPathNameByHandleA(HANDLE file, LPSTR path, DWORD size, DWORD flags);
#endif

void CLogFile::OnProcessOrModuleEvent(const DEBUG_EVENT& event) {
  HANDLE imageFile;
  uint32_t base;
  if (event.dwDebugEventCode == CREATE_PROCESS_DEBUG_EVENT) {
    const CREATE_PROCESS_DEBUG_INFO& info = event.u.CreateProcessInfo;
    Log("debug_event hProcess:%d", static_cast<int>(reinterpret_cast<intptr_t>(info.hProcess)));
    imageFile = info.hFile;
    base = TargetAddress(info.lpBaseOfImage);
    process = info.hProcess;
    processId = event.dwProcessId;

    std::string searchPath;
    HMODULE mainModule = nullptr;
    DWORD needed = 0;
    if (EnumProcessModules(process, &mainModule, sizeof mainModule, &needed)) {
      char fileName[MAX_PATH] = {0};
      if (GetModuleFileNameExA(process, mainModule, fileName, MAX_PATH - 1) != 0) {
        targetPath = fileName;
        if (const char* slash = LastBackslash(fileName)) {
          searchPath.assign(fileName, static_cast<size_t>(slash - fileName));  // C:\app\prog.exe gives C:\app;
          searchPath += ';';
        }
      }
    }
    searchPath += BuildSymbolSearchPath();
    NotePhase(DumpPhase::kSymbolHandlerStarting);
    symbols.StartHandler(process, searchPath.c_str());
    NotePhase(DumpPhase::kSymbolHandlerStarted);
  } else {
    imageFile = event.u.LoadDll.hFile;
    base = TargetAddress(event.u.LoadDll.lpBaseOfDll);
  }

  if (imageFile == nullptr || imageFile == INVALID_HANDLE_VALUE) return;
  IMAGEHLP_MODULE info;
  memset(&info, 0, sizeof info);
  info.SizeOfStruct = sizeof info;
  // A program started under the debugger has no modules yet when the handler starts, so the
  // handler's invasion found none: each is loaded from its event's image file.
  if (!SymGetModuleInfo(process, base, &info)) {
    char path[MAX_PATH] = {0};
#ifdef _WIN32
    const DWORD length = GetFinalPathNameByHandleA(imageFile, path, MAX_PATH - 1, 0);
    if (length == 0 || length >= MAX_PATH - 1) path[0] = '\0';
#endif
    const char* shown = strncmp(path, "\\\\?\\", 4) == 0 ? path + 4 : path;
    SymLoadModule(process, imageFile, shown[0] != 0 ? shown : nullptr, nullptr, base, 0);
  }
  // The image file handle is the debugger's to close; nothing here reads the file, and an
  // open handle would keep the image from being replaced or deleted while the session lasts.
  CloseHandle(imageFile);
  if (!SymGetModuleInfo(process, base, &info)) return;
  const char* name = info.LoadedImageName[0] != 0 ? info.LoadedImageName
                     : info.ImageName[0] != 0     ? info.ImageName
                                                  : info.ModuleName;
  Log("Attach %s Base=0x%08x", name, base);
  if (targetPath.empty() && event.dwDebugEventCode == CREATE_PROCESS_DEBUG_EVENT) targetPath = name;
  AddModule(CModule(name, base, info.ImageSize));
}
