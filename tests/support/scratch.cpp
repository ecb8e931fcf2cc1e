#include "tests/support/scratch.h"
#include "band/band.h"
#include <tlhelp32.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

std::string TestProgramFolder()
{
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(NULL, path, MAX_PATH);
    while (n > 0 && path[n - 1] != '\\')
        n--;
    return std::string(path, n ? n - 1 : 0);
}

std::string ReadWholeFile(const std::string &path)
{
    std::string text;
    FILE *file = fopen(path.c_str(), "rb");
    if (!file)
        return text;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof(buffer), file)) > 0)
        text.append(buffer, n);
    fclose(file);
    return text;
}

void WriteWholeFile(const std::string &path, const std::string &text)
{
    FILE *file = fopen(path.c_str(), "wb");
    if (!file)
        return;
    fwrite(text.data(), 1, text.size(), file);
    fclose(file);
}

ScratchModule::ScratchModule() : module_(NULL), previous_(moduleHandle)
{
    static LONG counter;
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    char name[MAX_PATH + 64];
    /* Process ids come round again, and a killed run leaves its folder with
       whatever it wrote: only a folder made here and now is empty. */
    for (int tries = 0; tries < 1000; tries++) {
        snprintf(name, sizeof(name), "%svelmora-test-%lu-%ld", temp, GetCurrentProcessId(),
                 InterlockedIncrement(&counter));
        if (CreateDirectoryA(name, NULL) || GetLastError() != ERROR_ALREADY_EXISTS)
            break;
    }
    folder_ = name;
    std::string dll = folder_ + "\\velmora.dll";
    if (!CopyFileA((TestProgramFolder() + "\\velmora.dll").c_str(), dll.c_str(), FALSE))
        return;
    module_ = LoadLibraryA(dll.c_str());
    if (module_)
        moduleHandle = module_;
}

ScratchModule::~ScratchModule()
{
    moduleHandle = previous_;
    if (module_)
        FreeLibrary(module_);
    DeleteFileA(SettingsPath().c_str());
    DeleteFileA((folder_ + "\\velmora.dll").c_str());
    RemoveDirectoryA(folder_.c_str());
}

void ScratchModule::Unload()
{
    moduleHandle = previous_;
    if (module_)
        FreeLibrary(module_);
    module_ = NULL;
}

void ScratchModule::WriteSettings(const std::string &text) const
{
    WriteWholeFile(SettingsPath(), text);
}

HANDLE StartProgram(const std::string &commandLine, const std::string &tempFolder, DWORD *id)
{
    char saved[MAX_PATH] = "";
    if (!tempFolder.empty()) {
        GetEnvironmentVariableA("TMP", saved, sizeof(saved));
        SetEnvironmentVariableA("TMP", tempFolder.c_str());
    }
    std::string line = commandLine;
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    BOOL started = CreateProcessA(NULL, &line[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process);
    if (!tempFolder.empty())
        SetEnvironmentVariableA("TMP", saved);
    if (!started)
        return NULL;
    CloseHandle(process.hThread);
    if (id)
        *id = process.dwProcessId;
    return process.hProcess;
}

DWORD ExitCodeOnceEnded(HANDLE process, DWORD timeoutMs)
{
    DWORD code = STILL_ACTIVE;
    if (WaitForSingleObject(process, timeoutMs) == WAIT_OBJECT_0)
        GetExitCodeProcess(process, &code);
    return code;
}

void CloseBrowserFrames()
{
    for (int i = 0; i < 50; i++) {
        HWND frame = FindWindowA("IEFrame", NULL);
        if (!frame)
            return;
        PostMessageA(frame, WM_CLOSE, 0, 0);
        PumpUntil([frame] { return !IsWindow(frame); }, 200);
    }
}

std::vector<DWORD> WindowPixels(HWND window, bool fromScreen, SIZE *size)
{
    RECT client;
    GetClientRect(window, &client);
    int width = client.right > 0 ? client.right : 0, height = client.bottom > 0 ? client.bottom : 0;
    if (size) {
        size->cx = width;
        size->cy = height;
    }
    std::vector<DWORD> pixels(width * height);
    if (pixels.empty())
        return pixels;
    POINT origin = { 0, 0 };
    if (fromScreen)
        ClientToScreen(window, &origin);
    HWND source = fromScreen ? NULL : window;
    HDC dc = GetDC(source);
    HDC memory = CreateCompatibleDC(dc);
    HBITMAP bitmap = CreateCompatibleBitmap(dc, width, height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, dc, origin.x, origin.y, SRCCOPY);
    SelectObject(memory, old);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    GetDIBits(memory, bitmap, 0, height, pixels.data(), &info, DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(source, dc);
    for (DWORD &p : pixels)
        p &= 0xFFFFFF;
    return pixels;
}

bool WaitPumping(HANDLE event, DWORD timeoutMs)
{
    return PumpUntil([event] { return WaitForSingleObject(event, 0) == WAIT_OBJECT_0; },
                     timeoutMs);
}

static DWORD CountThreads()
{
    DWORD count = 0;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return 0;
    THREADENTRY32 entry;
    entry.dwSize = sizeof(entry);
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        if (entry.th32OwnerProcessID == GetCurrentProcessId())
            count++;
    CloseHandle(snapshot);
    return count;
}

/* 32-bit Wine 8 leaves a 100-byte record naming the display device
   ("\\.\DISPLAY1") behind for each thread that made windows; it is the
   platform's, and would hide a real leak of the same size. */
static bool IsWineDisplayRecord(const PROCESS_HEAP_ENTRY &entry)
{
    static const WCHAR name[] = L"\\\\.\\DISPLAY";
    const SIZE_T nameBytes = sizeof(name) - sizeof(WCHAR);
    for (SIZE_T at = 0; at + nameBytes <= entry.cbData && at <= 16; at += 2)
        if (memcmp((const BYTE *)entry.lpData + at, name, nameBytes) == 0)
            return true;
    return false;
}

static SIZE_T CountHeapBytes()
{
    SIZE_T total = 0;
    HANDLE heap = GetProcessHeap();
    if (!HeapLock(heap))
        return 0;
    PROCESS_HEAP_ENTRY entry;
    entry.lpData = NULL;
    while (HeapWalk(heap, &entry))
        if ((entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) && !IsWineDisplayRecord(entry))
            total += entry.cbData;
    HeapUnlock(heap);
    return total;
}

/* Wine answers GetProcessHandleCount with 0; probing the table works on both. */
static DWORD CountHandles()
{
    DWORD count = 0;
    for (ULONG_PTR value = 4; value < 0x10000; value += 4) {
        DWORD flags;
        if (GetHandleInformation((HANDLE)value, &flags))
            count++;
    }
    return count;
}

static SIZE_T CountPrivateBytes()
{
    SIZE_T total = 0;
    MEMORY_BASIC_INFORMATION info;
    for (BYTE *address = NULL; VirtualQuery(address, &info, sizeof(info)) == sizeof(info);
         address = (BYTE *)info.BaseAddress + info.RegionSize) {
        if (info.State == MEM_COMMIT && info.Type == MEM_PRIVATE)
            total += info.RegionSize;
        if ((ULONG_PTR)info.BaseAddress + info.RegionSize < (ULONG_PTR)info.BaseAddress)
            break;
    }
    return total;
}

ProcessUsage MeasureProcess()
{
    ProcessUsage usage = {};
    usage.handles = CountHandles();
    usage.privateBytes = CountPrivateBytes();
    usage.threads = CountThreads();
    usage.heapBytes = CountHeapBytes();
    return usage;
}

std::string ExpectedLanguage()
{
    const char *value = getenv("VELMORA_LANG");
    return value ? value : "en";
}
