// tarnholm-minidump PID FILE: writes a full-memory minidump of a process with the platform's
// MiniDumpWriteDump and prints how long the call took, for comparison with a report.
#include <windows.h>
#include <dbghelp.h>
#include <stdio.h>
#include <stdlib.h>

int main(int argc, char** argv) {
  if (argc != 3) {
    fputs("usage: tarnholm-minidump PID FILE\n", stderr);
    return 3;
  }
  DWORD pid = static_cast<DWORD>(strtoul(argv[1], nullptr, 10));
  HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ | PROCESS_DUP_HANDLE, FALSE, pid);
  if (process == nullptr) {
    fprintf(stderr, "OpenProcess(%lu) failed (e=%lu)\n", static_cast<unsigned long>(pid),
            static_cast<unsigned long>(GetLastError()));
    return 2;
  }
  HANDLE file = CreateFileA(argv[2], GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    fprintf(stderr, "CreateFileA(%s) failed (e=%lu)\n", argv[2], static_cast<unsigned long>(GetLastError()));
    return 1;
  }
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  BOOL ok = MiniDumpWriteDump(process, pid, file, MiniDumpWithFullMemory, nullptr, nullptr, nullptr);
  QueryPerformanceCounter(&end);
  DWORD error = GetLastError();
  CloseHandle(file);
  CloseHandle(process);
  double seconds = static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
  if (!ok) {
    fprintf(stderr, "MiniDumpWriteDump failed (e=%lu)\n", static_cast<unsigned long>(error));
    return 1;
  }
  printf("MiniDumpWriteDump seconds: %.3f\n", seconds);
  return 0;
}
