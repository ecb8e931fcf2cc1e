/* Test support: a private copy of velmora.dll in a folder of its own, so a
   test gets its own settings file beside "the DLL" and the real resources.
   The product code linked into the test program is pointed at that copy. */
#ifndef VELMORA_TEST_SCRATCH_H
#define VELMORA_TEST_SCRATCH_H

#include <windows.h>
#include <string>
#include <vector>

class ScratchModule {
public:
    ScratchModule();
    ~ScratchModule();
    bool ok() const { return module_ != NULL; }
    HMODULE module() const { return module_; }
    const std::string &folder() const { return folder_; }
    std::string SettingsPath() const { return folder_ + "\\serverlist"; }
    /* Lets go of the copy, as COM does once DllCanUnloadNow says S_OK. */
    void Unload();
    /* Writes the settings file from text (sections and keys as in an INI file). */
    void WriteSettings(const std::string &text) const;

private:
    std::string folder_;
    HMODULE module_;
    HINSTANCE previous_;
};

std::string TestProgramFolder();
std::string ReadWholeFile(const std::string &path);
void WriteWholeFile(const std::string &path, const std::string &text);

/* Pumps this thread's messages until done() holds or the time is up. */
template <class Done> bool PumpUntil(Done done, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        MSG msg;
        while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        if (done())
            return true;
        if (GetTickCount() - start > timeoutMs)
            return false;
        MsgWaitForMultipleObjects(0, NULL, FALSE, 10, QS_ALLINPUT);
    }
}

/* Closes the browser windows that Wine's browser server leaves open after
   its last reference, and waits for each to go. */
void CloseBrowserFrames();

/* The client area of window as 0x00RRGGBB, top row first: from the window's
   own DC, or as the screen shows it (for another process's window). */
std::vector<DWORD> WindowPixels(HWND window, bool fromScreen = false, SIZE *size = NULL);

/* Waits for an event while pumping messages. */
bool WaitPumping(HANDLE event, DWORD timeoutMs);

/* What a process holds, for leak checks. */
struct ProcessUsage {
    DWORD handles;
    SIZE_T privateBytes;
    DWORD threads;
    SIZE_T heapBytes;   /* bytes in use in the process heap */
};
ProcessUsage MeasureProcess();

/* Starts commandLine, with the temporary folder tempFolder where one is
   given (as TMP); the process, or NULL, and its id in *id. */
HANDLE StartProgram(const std::string &commandLine, const std::string &tempFolder, DWORD *id = NULL);
/* process's exit code, or STILL_ACTIVE when it has not ended within timeoutMs. */
DWORD ExitCodeOnceEnded(HANDLE process, DWORD timeoutMs);

/* "de" or "en": the resource language this run is meant to see. */
std::string ExpectedLanguage();

#endif
