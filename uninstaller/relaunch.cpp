/* The first instance's relaunch from a temporary copy, and the command line
   that carries the process handle and the uninstaller's path to the copy. */
#include "uninstaller/uninstaller.h"
#include "uninstaller/resource.h"

/* Handle values are decimal; 20 digits hold any 64-bit value. */
#define HANDLE_DIGITS 20

static const char *SkipProgramName(const char *line)
{
    if (*line == '"') {
        const char *end = line + 1;
        while (*end && *end != '"')
            end++;
        return *end ? end + 1 : NULL;
    }
    if (!*line)
        return NULL;
    const char *end = line + 1;
    while (*end && *end != ' ')
        end++;
    return *end ? end : NULL;
}

/* The token must be all digits and fit a handle value; anything else is no
   relaunch, so a hand-typed argument gets the question, not a removal. */
static BOOL ReadHandleValue(const char *digits, size_t count, ULONG_PTR *value)
{
    if (count == 0 || count > HANDLE_DIGITS)
        return FALSE;
    ULONG_PTR result = 0;
    for (size_t i = 0; i < count; i++) {
        if (digits[i] < '0' || digits[i] > '9')
            return FALSE;
        ULONG_PTR digit = (ULONG_PTR)(digits[i] - '0');
        if (result > (~(ULONG_PTR)0 - digit) / 10)
            return FALSE;
        result = result * 10 + digit;
    }
    *value = result;
    return TRUE;
}

RelaunchShape ParseRelaunchCommandLine(const char *line, ULONG_PTR *handle, char *path)
{
    path[0] = 0;
    *handle = 0;
    const char *at = line ? SkipProgramName(line) : NULL;
    if (!at)
        return RELAUNCH_ABSENT;
    while (*at == ' ')
        at++;
    const char *space = at;
    while (*space && *space != ' ')
        space++;
    /* A handle without a path is no relaunch, as the system would split it. */
    const char *word = space;
    while (*word == ' ')
        word++;
    if (!*word || !ReadHandleValue(at, (size_t)(space - at), handle))
        return RELAUNCH_ABSENT;
    /* A path cut to fit would name another file. */
    if (lstrlenA(space + 1) >= UNINSTALL_PATH_SIZE)
        return RELAUNCH_REFUSED;
    lstrcpynA(path, space + 1, UNINSTALL_PATH_SIZE);
    return RELAUNCH_PRESENT;
}

static void FormatDecimal(ULONG_PTR value, char *digits)
{
    char reversed[HANDLE_DIGITS + 1];
    int count = 0;
    do {
        reversed[count++] = (char)('0' + value % 10);
        value /= 10;
    } while (value);
    for (int i = 0; i < count; i++)
        digits[i] = reversed[count - 1 - i];
    digits[count] = 0;
}

/* The copy's path is quoted: temporary folders often have spaces in them. */
BOOL FormatRelaunchCommandLine(char *line, const char *copyPath, ULONG_PTR handle, const char *path)
{
    char digits[HANDLE_DIGITS + 1];
    FormatDecimal(handle, digits);
    if (lstrlenA(copyPath) + lstrlenA(digits) + lstrlenA(path) + 4 >= RELAUNCH_LINE_SIZE)
        return FALSE;
    wsprintfA(line, "\"%s\" %s %s", copyPath, digits, path);
    return TRUE;
}

/* Module and temporary paths that fill their buffers are cut: refused. */
static BOOL FetchOwnPath(char *path)
{
    DWORD n = GetModuleFileNameA(NULL, path, UNINSTALL_PATH_SIZE);
    if (n == 0 || n >= UNINSTALL_PATH_SIZE) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return FALSE;
    }
    return TRUE;
}

static BOOL CreateTempCopyName(char *copyPath)
{
    char folder[UNINSTALL_PATH_SIZE];
    DWORD n = GetTempPathA(UNINSTALL_PATH_SIZE, folder);
    if (n == 0 || n >= UNINSTALL_PATH_SIZE - 14) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return FALSE;
    }
    return GetTempFileNameA(folder, "vmu", 0, copyPath) != 0;
}

static BOOL StartCopy(char *line)
{
    STARTUPINFOA startup;
    PROCESS_INFORMATION process;
    ZeroMemory(&startup, sizeof(startup));
    startup.cb = sizeof(startup);
    if (!CreateProcessA(NULL, line, NULL, NULL, TRUE, 0, NULL, NULL, &startup, &process))
        return FALSE;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return TRUE;
}

DWORD RelaunchFromTempCopy(void)
{
    char ownPath[UNINSTALL_PATH_SIZE];
    char copyPath[UNINSTALL_PATH_SIZE];
    char line[RELAUNCH_LINE_SIZE];
    if (!FetchOwnPath(ownPath) || !CreateTempCopyName(copyPath))
        return GetLastError();
    /* Not reported: a failed copy shows when the copy cannot be started. */
    (void)CopyFileA(ownPath, copyPath, FALSE);
    /* The query right lets the copy make sure the handle names a process. */
    HANDLE self = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, TRUE, GetCurrentProcessId());
    if (!self)
        return GetLastError();
    DWORD err = 0;
    if (!FormatRelaunchCommandLine(line, copyPath, (ULONG_PTR)self, ownPath))
        err = ERROR_FILENAME_EXCED_RANGE;
    else if (!StartCopy(line))
        err = GetLastError();
    CloseHandle(self);
    return err;
}

int ShowMessage(UINT textId, UINT type)
{
    char caption[260];
    char text[260];
    LoadStringA(GetModuleHandleA(NULL), IDS_CAPTION, caption, sizeof(caption));
    LoadStringA(GetModuleHandleA(NULL), textId, text, sizeof(text));
    return MessageBoxA(NULL, text, caption, type);
}

void ShowLastError(HWND owner)
{
    DWORD err = GetLastError();
    char caption[260];
    char *text = NULL;
    LoadStringA(GetModuleHandleA(NULL), IDS_CAPTION, caption, sizeof(caption));
    FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM, NULL, err, 0,
                   (char *)&text, 0, NULL);
    MessageBoxA(owner, text ? text : "", caption, MB_ICONERROR);
    if (text)
        LocalFree(text);
}
