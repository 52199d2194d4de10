/* exit-code-runner EXITFILE PROGRAM [ARGS...]
 *
 * Runs PROGRAM with ARGS as a child that shares this process's standard handles, waits for it
 * and writes its exit code, as read by GetExitCodeProcess, to EXITFILE as an unsigned decimal
 * number. The guest runs each 32-bit test program through it: Wine hands only the low 8 bits of
 * an exit code to the Linux side, and this keeps all 32 (0xC0000005 stays 3221225477).
 * Exits with the child's exit code, or 125 when it cannot start the child or write EXITFILE
 * (EXITFILE then holds "error: ..." when it could be written at all). */
#include <windows.h>
#include <shellapi.h>
#include <stdio.h>
#include <wchar.h>

/* Appends one argument to a command line, quoted the way CommandLineToArgvW reads it back. */
static void append_argument(wchar_t *line, size_t size, const wchar_t *arg) {
  size_t n = wcslen(line);
  if (n > 0 && n + 1 < size) {
    line[n++] = L' ';
  }
  int quote = arg[0] == L'\0' || wcspbrk(arg, L" \t\"") != NULL;
  if (quote && n + 1 < size) {
    line[n++] = L'"';
  }
  size_t backslashes = 0;
  for (const wchar_t *p = arg; *p != L'\0' && n + 2 < size; ++p) {
    if (*p == L'\\') {
      ++backslashes;
    } else {
      if (*p == L'"') {
        for (size_t i = 0; i < backslashes + 1 && n + 2 < size; ++i) {
          line[n++] = L'\\';
        }
      }
      backslashes = 0;
    }
    line[n++] = *p;
  }
  if (quote) {
    for (size_t i = 0; i < backslashes && n + 2 < size; ++i) {
      line[n++] = L'\\';
    }
    if (n + 1 < size) {
      line[n++] = L'"';
    }
  }
  line[n] = L'\0';
}

static void write_exit_file(const wchar_t *path, const char *text) {
  FILE *f = _wfopen(path, L"w");
  if (f != NULL) {
    fputs(text, f);
    fclose(f);
  }
}

int main(void) {
  int argc = 0;
  wchar_t **argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (argv == NULL || argc < 3) {
    fputs("usage: exit-code-runner EXITFILE PROGRAM [ARGS...]\n", stderr);
    return 125;
  }
  static wchar_t line[32768];
  line[0] = L'\0';
  for (int i = 2; i < argc; ++i) {
    append_argument(line, sizeof line / sizeof line[0], argv[i]);
  }

  STARTUPINFOW si;
  ZeroMemory(&si, sizeof si);
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  si.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
  si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION pi;
  char text[128];
  if (!CreateProcessW(argv[2], line, NULL, NULL, TRUE, 0, NULL, NULL, &si, &pi)) {
    snprintf(text, sizeof text, "error: CreateProcess failed, error %lu\n", GetLastError());
    fputs(text, stderr);
    write_exit_file(argv[1], text);
    return 125;
  }
  CloseHandle(pi.hThread);
  WaitForSingleObject(pi.hProcess, INFINITE);
  DWORD code = 0;
  if (!GetExitCodeProcess(pi.hProcess, &code)) {
    snprintf(text, sizeof text, "error: GetExitCodeProcess failed, error %lu\n", GetLastError());
    write_exit_file(argv[1], text);
    return 125;
  }
  CloseHandle(pi.hProcess);
  snprintf(text, sizeof text, "%lu\n", (unsigned long)code);
  FILE *f = _wfopen(argv[1], L"w");
  if (f == NULL || fputs(text, f) < 0 || fclose(f) != 0) {
    fprintf(stderr, "exit-code-runner: cannot write the exit code %lu to %ls\n",
            (unsigned long)code, argv[1]);
    return 125;
  }
  return (int)code;
}
