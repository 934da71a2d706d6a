// A target with large committed regions and many threads, for the Wine tests and benchmark
// of the memory dump. Usage: big_target [THREADS [MIB...]] (default: 1 thread, one region of
// 256 MiB). Every page of a region starts with its own address and ends with its complement,
// the rest is zero. Prints "pid N", "region BASE SIZE" (hexadecimal) per region, "ready", and
// waits.
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>

static HANDLE g_never;

static DWORD WINAPI Waiter(LPVOID) {
  WaitForSingleObject(g_never, INFINITE);
  return 0;
}

int main(int argc, char** argv) {
  g_never = CreateEventA(NULL, TRUE, FALSE, NULL);
  int threads = argc > 1 ? atoi(argv[1]) : 1;
  printf("pid %lu\n", static_cast<unsigned long>(GetCurrentProcessId()));
  int regions = argc > 2 ? argc - 2 : 1;
  for (int i = 0; i < regions; ++i) {
    SIZE_T mib = argc > 2 ? static_cast<SIZE_T>(atoi(argv[2 + i])) : 256;
    SIZE_T size = mib << 20;
    BYTE* region = static_cast<BYTE*>(VirtualAlloc(NULL, size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    if (region == NULL) {
      printf("no region of %lu MiB (e=%lu)\n", static_cast<unsigned long>(mib), GetLastError());
      return 1;
    }
    for (SIZE_T page = 0; page < size; page += 4096) {
      DWORD address = static_cast<DWORD>(reinterpret_cast<UINT_PTR>(region + page));
      *reinterpret_cast<DWORD*>(region + page) = address;
      *reinterpret_cast<DWORD*>(region + page + 4092) = ~address;
    }
    printf("region %08lx %08lx\n", static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(region)),
           static_cast<unsigned long>(size));
  }
  for (int i = 1; i < threads; ++i) CloseHandle(CreateThread(NULL, 0, Waiter, NULL, 0, NULL));
  Sleep(200);
  printf("ready\n");
  fflush(stdout);
  WaitForSingleObject(g_never, INFINITE);
  return 0;
}
