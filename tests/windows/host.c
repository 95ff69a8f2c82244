/* A Windows application in plain C, as hosts of vendrel.dll are written: it
 * finds the DLL beside itself (or under the name given as its argument),
 * loads it with LoadLibraryW, takes every function from GetProcAddress,
 * drives the calls and checks their results and the log file they write.
 * Then it writes the files of the shared scenario (interop/windows_scenario.h:
 * a Unicode PST, an ANSI PST, a PST in a directory deeper than MAX_PATH and
 * an EML tree) into its output folder, for the Linux-side readers to check:
 *   windows_host [DLL name [output folder]]
 * The output folder defaults to "host-output" beside the program.
 *
 * It ends by printing "windows_host: all checks passed". The test runner
 * looks for that line and not only at the exit code: a program that crashes
 * under wine can still end with exit code 0. */
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <stdio.h>
#include <string.h>

#include "vendrel.h"
#include "interop/windows_scenario.h"

typedef void (*any_function)(void);
typedef void (*set_log_file_fn)(const char*);
typedef int32_t (*no_argument_fn)(void);
typedef int32_t (*code_fn)(uint32_t);
typedef int32_t (*wide_text_fn)(const vendrel_wchar*);
typedef int32_t (*narrow_text_fn)(const char*);
typedef int32_t (*wide_subject_fn)(const vendrel_wchar*, uint32_t);
typedef int32_t (*narrow_subject_fn)(const char*, uint32_t);
typedef int32_t (*time_fn)(uint32_t, uint32_t);
typedef int32_t (*system_time_fn)(vendrel_systemtime);
typedef int32_t (*wide_sender_fn)(const vendrel_wchar*, const vendrel_wchar*, const vendrel_wchar*);
typedef int32_t (*narrow_recipient_fn)(const char*, const char*, const char*, uint32_t, uint32_t);
typedef int32_t (*attach_fn)(const void*, int32_t, const char*, const char*, const char*, const char*, uint8_t,
                             uint8_t);
typedef int32_t (*tagged_prop_fn)(uint32_t, const void*, uint32_t);
typedef int32_t (*literal_prop_fn)(const char*, const void*, uint32_t);
typedef int32_t (*wide_folder_fn)(const vendrel_wchar*, const vendrel_wchar*, const vendrel_wchar*);

static struct {
  set_log_file_fn SetLogFile;
  code_fn Bind_codepage;
  wide_subject_fn Bind_subj;
  narrow_subject_fn Bind_subjA;
  wide_text_fn Bind_body;
  narrow_text_fn Bind_bodyA;
  time_fn Bind_creation_time;
  system_time_fn Bind_delivery_time_s;
  wide_sender_fn Bind_sender;
  narrow_recipient_fn Bind_recipientA;
  attach_fn Bind_attach;
  tagged_prop_fn BindTaggedProp;
  literal_prop_fn BindLiteralProp;
  no_argument_fn BClear;
  no_argument_fn BClearA;
  wide_folder_fn CreateFolder;
  wide_text_fn ChangeFolder;
} api;

static int failures = 0;

static void fail(const char* what) {
  fprintf(stderr, "windows_host: %s\n", what);
  ++failures;
}

static void expect(int32_t actual, int32_t expected, const char* what) {
  if (actual != expected) {
    fprintf(stderr, "windows_host: %s: got %d, expected %d\n", what, (int)actual, (int)expected);
    ++failures;
  }
}

/* GetProcAddress into a typed slot; a missing export is a failure. */
static void take(HMODULE library, const char* name, void* slot) {
  FARPROC address = GetProcAddress(library, name);
  any_function function = (any_function)(void (*)(void))address;
  if (address == NULL) {
    fprintf(stderr, "windows_host: vendrel.dll does not export %s (error %lu)\n", name, GetLastError());
    ++failures;
  }
  memcpy(slot, &function, sizeof function);
}

/* The whole file as a NUL-terminated buffer (read through the wide call, so
 * that the name is checked exactly as given), or NULL. */
static char* read_whole_file(const wchar_t* path, DWORD* size) {
  HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, NULL);
  char* text;
  DWORD got = 0;
  LARGE_INTEGER length;
  if (file == INVALID_HANDLE_VALUE) return NULL;
  if (!GetFileSizeEx(file, &length) || length.QuadPart > 16 * 1024 * 1024) {
    CloseHandle(file);
    return NULL;
  }
  text = (char*)HeapAlloc(GetProcessHeap(), 0, (SIZE_T)length.QuadPart + 1);
  if (text && !ReadFile(file, text, (DWORD)length.QuadPart, &got, NULL)) got = 0;
  CloseHandle(file);
  if (!text) return NULL;
  text[got] = '\0';
  *size = got;
  return text;
}

/* A folder for the log whose name the ANSI code page can spell with a
 * non-ASCII letter where it has one: SetLogFile takes an ANSI path, so the
 * file must then turn up under the wide name with that letter. */
static int make_work_folder(wchar_t* folder, size_t capacity, char* narrow, size_t narrow_capacity) {
  wchar_t temp[MAX_PATH + 1];
  const wchar_t* name = L"vendrel host \x00E9t\x00E9";
  BOOL lossy = FALSE;
  DWORD n = GetTempPathW(MAX_PATH + 1, temp);
  int length;
  if (n == 0 || n > MAX_PATH) return 0;
  length = _snwprintf(folder, capacity, L"%ls%ls %lu", temp, name, (unsigned long)GetCurrentProcessId());
  if (length < 0) return 0;
  if (WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, folder, -1, narrow, (int)narrow_capacity, NULL, &lossy) == 0 ||
      lossy) {
    /* No such letter in this code page: an ASCII name. */
    length = _snwprintf(folder, capacity, L"%lsvendrel host %lu", temp, (unsigned long)GetCurrentProcessId());
    if (length < 0) return 0;
    if (WideCharToMultiByte(CP_ACP, 0, folder, -1, narrow, (int)narrow_capacity, NULL, NULL) == 0) return 0;
  }
  return CreateDirectoryW(folder, NULL) || GetLastError() == ERROR_ALREADY_EXISTS;
}

static void check_binding_calls(void) {
  static const vendrel_wchar subject[] = L"Gr\x00FC\x00DF" L"e";
  static const vendrel_wchar email[] = L"a@b.c";
  vendrel_systemtime t;
  const char payload[] = "attachment bytes";
  uint32_t value = 42;

  memset(&t, 0, sizeof t);
  t.wYear = 2024;
  t.wMonth = 2;
  t.wDay = 29;
  t.wHour = 12;
  expect(api.Bind_codepage(1252), 0, "Bind_codepage");
  expect(api.Bind_subj(subject, 0), 0, "Bind_subj");
  expect(api.Bind_subjA("RE: hello", 4), 0, "Bind_subjA");
  expect(api.Bind_bodyA("body"), 0, "Bind_bodyA");
  expect(api.Bind_body(NULL), -2, "Bind_body(NULL)");
  expect(api.Bind_creation_time(0x2A2A2A2Au, 0x01D2A2A2u), 0, "Bind_creation_time");
  expect(api.Bind_delivery_time_s(t), 0, "Bind_delivery_time_s");
  expect(api.Bind_sender(email, NULL, NULL), 0, "Bind_sender");
  expect(api.Bind_recipientA("x@y.z", "X", "SMTP", 1, 0), 0, "Bind_recipientA");
  expect(api.Bind_attach(payload, (int32_t)sizeof payload, "a.txt", NULL, "text/plain", NULL, 1, 0), 0,
         "Bind_attach");
  expect(api.Bind_attach(NULL, 5, "b.txt", NULL, NULL, NULL, 1, 0), -2, "Bind_attach(NULL, 5)");
  expect(api.BindTaggedProp(0x00170003u, &value, sizeof value), 0, "BindTaggedProp");
  expect(api.BindLiteralProp("L3FDE", &value, sizeof value), 0, "BindLiteralProp");
  expect(api.BindLiteralProp("X0037", &value, sizeof value), -1, "BindLiteralProp with a bad letter");
  expect(api.BClear(), 0, "BClear");
  expect(api.BClearA(), 0, "BClearA");
  /* No store is open: the folder calls refuse with the file error. */
  expect(api.CreateFolder(L"", L"Inbox", L"IPF.Note"), -5, "CreateFolder without a store");
  expect(api.ChangeFolder(L"Inbox"), -5, "ChangeFolder without a store");
  expect(api.Bind_subjA("still usable", 0), 0, "Bind_subjA after the refusals");
  expect(api.BClear(), 0, "BClear again");
}

/* The log lines the calls above leave, in order (time stamp lines aside),
 * and the machine-info header with the DLL's own path. */
static void check_log(const wchar_t* log_path, HMODULE library) {
  static const char* const lines[] = {
      "[ERROR]: Bind_body: null string [-2]\n",
      "[PST] deleting attach [a.txt]\n",
      "[PST] delete binded props\n",
  };
  char module[MAX_PATH + 1];
  char expected[MAX_PATH + 64];
  DWORD size = 0, n;
  size_t i;
  const char* cursor;
  char* text = read_whole_file(log_path, &size);
  if (!text) {
    fail("no log file under the wide name of the ANSI path given to SetLogFile");
    return;
  }
  if (strstr(text, "============== LOGGER MACHINE INFO =================\n") == NULL)
    fail("the log has no machine-info header");
  n = GetModuleFileNameA(library, module, sizeof module);
  if (n == 0 || n >= sizeof module) {
    fail("GetModuleFileNameA of vendrel.dll failed");
  } else {
    _snprintf(expected, sizeof expected, "Logging output for [%s]\n", module);
    expected[sizeof expected - 1] = '\0';
    if (strstr(text, expected) == NULL) fail("the header does not name vendrel.dll as the module");
  }
  if (strstr(text, "GetWindowsDirectory [") == NULL) fail("the header has no Windows directory line");
  if (strstr(text, "GetTempPath [") == NULL) fail("the header has no temporary directory line");
  if (strchr(text, '\r') != NULL) fail("the log has carriage returns");
  cursor = text;
  for (i = 0; i < sizeof lines / sizeof lines[0]; ++i) {
    const char* found = strstr(cursor, lines[i]);
    if (found == NULL) {
      fprintf(stderr, "windows_host: the log lacks (in order) %s", lines[i]);
      ++failures;
      continue;
    }
    cursor = found + strlen(lines[i]);
  }
  HeapFree(GetProcessHeap(), 0, text);
}

/* "\\?\" and the absolute form of a path, for the deep directory. */
static int extended_form(const wchar_t* path, wchar_t* out, size_t capacity) {
  wchar_t absolute[SCENARIO_PATH_CAPACITY];
  DWORD n = GetFullPathNameW(path, SCENARIO_PATH_CAPACITY, absolute, NULL);
  if (n == 0 || n >= SCENARIO_PATH_CAPACITY || n + 5 > capacity) return 0;
  wcscpy(out, L"\\\\?\\");
  wcscat(out, absolute);
  return 1;
}

static int exists(const wchar_t* path, DWORD want_directory) {
  wchar_t extended[SCENARIO_PATH_CAPACITY + 8];
  DWORD attributes;
  if (!extended_form(path, extended, sizeof extended / sizeof extended[0])) return 0;
  attributes = GetFileAttributesW(extended);
  if (attributes == INVALID_FILE_ATTRIBUTES) return 0;
  return ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) == (want_directory != 0);
}

static void expect_file(const wchar_t* folder, const wchar_t* name) {
  wchar_t path[SCENARIO_PATH_CAPACITY];
  scenario_wjoin(path, folder, name);
  if (!exists(path, 0)) {
    fprintf(stderr, "windows_host: %ls was not written\n", path);
    ++failures;
  }
}

/* The calls of the shared scenario from GetProcAddress; the required ones
 * must be there, the others may come later. */
static int take_scenario_calls(HMODULE library, scenario_api* calls) {
  int missing = 0;
  memset(calls, 0, sizeof *calls);
#define TAKE_SCENARIO_CALL(name, required)                                   \
  {                                                                          \
    FARPROC address = GetProcAddress(library, #name);                        \
    if (address) memcpy(&calls->name, &address, sizeof address);             \
    else if (required) {                                                     \
      fprintf(stderr, "windows_host: vendrel.dll does not export %s\n", #name); \
      ++missing;                                                             \
    } else                                                                   \
      printf("windows_host: %s is not exported yet; its steps are left out\n", #name); \
  }
  SCENARIO_CALLS(TAKE_SCENARIO_CALL)
#undef TAKE_SCENARIO_CALL
  return missing == 0;
}

/* The scenario's files, written through the DLL into `output`. The deep
 * directory is made here through "\\?\"; the library must reach it from the
 * plain path, which is longer than any plain Win32 call takes. */
static void check_pst_writing(HMODULE library, const wchar_t* output) {
  scenario_api calls;
  scenario_paths paths;
  wchar_t long_folder[SCENARIO_PATH_CAPACITY];
  wchar_t extended[SCENARIO_PATH_CAPACITY + 8];
  wchar_t eml[SCENARIO_PATH_CAPACITY];
  char narrow[SCENARIO_PATH_CAPACITY];
  BOOL lossy = FALSE;
  size_t i;
  int written;

  if (!take_scenario_calls(library, &calls)) {
    ++failures;
    return;
  }
  if (WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, output, -1, narrow, sizeof narrow, NULL, &lossy) == 0 || lossy) {
    fail("the output folder has no ANSI name");
    return;
  }
  scenario_wjoin(long_folder, output, NULL);
  for (i = 0; i < SCENARIO_LONG_COMPONENTS; ++i) {
    scenario_wjoin(long_folder, long_folder, scenario_long_components[i]);
    if (!extended_form(long_folder, extended, sizeof extended / sizeof extended[0]) ||
        (!CreateDirectoryW(extended, NULL) && GetLastError() != ERROR_ALREADY_EXISTS)) {
      fprintf(stderr, "windows_host: cannot make %ls (error %lu)\n", long_folder, GetLastError());
      ++failures;
      return;
    }
  }
  if (wcslen(long_folder) <= 247) fail("the deep directory is not longer than 247 characters");

  paths.folder = output;
  paths.narrow_folder = narrow;
  paths.long_folder = long_folder;
  written = scenario_write_all(&calls, &paths);
  if (written) {
    fprintf(stderr, "windows_host: %d scenario calls failed\n", written);
    failures += written;
  }
  expect_file(output, L"unicode.pst");
  expect_file(output, L"ansi.pst");
  expect_file(long_folder, L"tief \u00FCber MAX_PATH.pst");
  if (calls.CreateEML && calls.Bind_body_EML) {
    scenario_wjoin(eml, output, L"eml\\Inbox");
    expect_file(eml, L"first.eml");
    scenario_wjoin(eml, output, L"eml");
    for (i = 0; i < SCENARIO_LONG_COMPONENTS; ++i) scenario_wjoin(eml, eml, scenario_long_components[i]);
    if (wcslen(eml) <= 259) fail("the deep EML directory is not longer than 259 characters");
    expect_file(eml, L"deep message \u00FC.eml");
    scenario_wjoin(eml, output, L"eml\\Kontakte");
    if (exists(eml, 1)) fail("EML mode made a directory for contacts");
  }
}

/* The output folder: the one given, or "host-output" beside the program. */
static int output_folder(int argc, char** argv, const wchar_t* program_folder, wchar_t* out) {
  wchar_t given[SCENARIO_PATH_CAPACITY];
  if (argc > 2) {
    if (MultiByteToWideChar(CP_ACP, 0, argv[2], -1, given, SCENARIO_PATH_CAPACITY) == 0) return 0;
  } else {
    scenario_wjoin(given, program_folder, L"host-output");
  }
  if (GetFullPathNameW(given, SCENARIO_PATH_CAPACITY, out, NULL) >= SCENARIO_PATH_CAPACITY) return 0;
  return CreateDirectoryW(out, NULL) || GetLastError() == ERROR_ALREADY_EXISTS;
}

int main(int argc, char** argv) {
  wchar_t path[MAX_PATH + 1];
  wchar_t folder[MAX_PATH + 1];
  wchar_t log_path[MAX_PATH + 1];
  wchar_t output[SCENARIO_PATH_CAPACITY];
  char narrow_folder[2 * MAX_PATH + 1];
  char narrow_log[2 * MAX_PATH + 1];
  wchar_t* slash;
  HMODULE library;
  DWORD n = GetModuleFileNameW(NULL, path, MAX_PATH + 1);

  /* vendrel.dll (or the name given) in this program's folder. */
  if (n == 0 || n > MAX_PATH || (slash = wcsrchr(path, L'\\')) == NULL) {
    fail("cannot tell this program's folder");
    return 1;
  }
  slash[0] = L'\0';
  if (!output_folder(argc, argv, path, output)) {
    fail("cannot make the output folder");
    return 1;
  }
  slash[0] = L'\\';
  slash[1] = L'\0';
  if (MultiByteToWideChar(CP_ACP, 0, argc > 1 ? argv[1] : "vendrel.dll", -1, slash + 1,
                          (int)(MAX_PATH - (slash + 1 - path))) == 0) {
    fail("DLL name too long");
    return 1;
  }
  library = LoadLibraryW(path);
  if (library == NULL) {
    fprintf(stderr, "windows_host: LoadLibraryW(%ls) failed with error %lu\n", path, GetLastError());
    return 1;
  }

  take(library, "SetLogFile", &api.SetLogFile);
  take(library, "Bind_codepage", &api.Bind_codepage);
  take(library, "Bind_subj", &api.Bind_subj);
  take(library, "Bind_subjA", &api.Bind_subjA);
  take(library, "Bind_body", &api.Bind_body);
  take(library, "Bind_bodyA", &api.Bind_bodyA);
  take(library, "Bind_creation_time", &api.Bind_creation_time);
  take(library, "Bind_delivery_time_s", &api.Bind_delivery_time_s);
  take(library, "Bind_sender", &api.Bind_sender);
  take(library, "Bind_recipientA", &api.Bind_recipientA);
  take(library, "Bind_attach", &api.Bind_attach);
  take(library, "BindTaggedProp", &api.BindTaggedProp);
  take(library, "BindLiteralProp", &api.BindLiteralProp);
  take(library, "BClear", &api.BClear);
  take(library, "BClearA", &api.BClearA);
  take(library, "CreateFolder", &api.CreateFolder);
  take(library, "ChangeFolder", &api.ChangeFolder);
  if (failures) return 1;

  if (!make_work_folder(folder, MAX_PATH + 1, narrow_folder, sizeof narrow_folder)) {
    fail("cannot make a work folder");
    return 1;
  }
  _snwprintf(log_path, MAX_PATH + 1, L"%ls\\host.log", folder);
  log_path[MAX_PATH] = L'\0';
  _snprintf(narrow_log, sizeof narrow_log, "%s\\host.log", narrow_folder);
  narrow_log[sizeof narrow_log - 1] = '\0';

  api.SetLogFile(narrow_log);
  check_binding_calls();
  check_pst_writing(library, output);
  api.SetLogFile(NULL); /* ignored: the log stays open */
  check_log(log_path, library);

  if (!FreeLibrary(library)) fail("FreeLibrary failed");
  /* Unloading closed the log: it can go now, and the folder with it. */
  if (!DeleteFileW(log_path)) fail("the log is still held after FreeLibrary");
  RemoveDirectoryW(folder);

  if (failures) {
    fprintf(stderr, "windows_host: %d checks failed\n", failures);
    return 1;
  }
  printf("windows_host: all checks passed\n");
  return 0;
}
