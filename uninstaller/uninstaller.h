/* vmuninst removes the toolbar in two instances of itself: the first asks,
   copies itself to a temporary file and starts the copy; the copy waits for
   the first to end, removes the band's registry entries and then its file,
   the DLL and the installation folder. Both always exit with 0. */
#ifndef VMUNINST_UNINSTALLER_H
#define VMUNINST_UNINSTALLER_H

#include <windows.h>

#define UNINSTALL_PATH_SIZE     260
#define RELAUNCH_LINE_SIZE      512

/* How a command line reads. */
enum RelaunchShape {
    RELAUNCH_ABSENT,    /* the first instance: ask the user */
    RELAUNCH_PRESENT,   /* the second instance: handle and path are set */
    RELAUNCH_REFUSED    /* the relaunch shape with a path that does not fit: do nothing */
};

/* Reads "program handle path": the program name (quoted or up to the first
   space), spaces, a decimal handle value, one space, and the uninstaller's
   path to the end of the line. path holds UNINSTALL_PATH_SIZE bytes. */
RelaunchShape ParseRelaunchCommandLine(const char *line, ULONG_PTR *handle, char *path);

/* "\"copy\" handle path" into a RELAUNCH_LINE_SIZE buffer; FALSE when it does
   not fit. */
BOOL FormatRelaunchCommandLine(char *line, const char *copyPath, ULONG_PTR handle, const char *path);

/* The first instance: copies the program and starts the copy; 0 or an error. */
DWORD RelaunchFromTempCopy(void);

/* The second instance's work once the first has ended. */
void RemoveInstallation(HANDLE firstInstance, const char *uninstallerPath);

/* Removes the registry entries, deletes the uninstaller's file, reports, then
   deletes the DLL and the folder; 0, or the error of a registry removal (then
   every file stays, and so does the uninstall entry, for a second try). */
DWORD RemoveToolbar(const char *directory, const char *uninstallerPath);

/* "directory\name" into path of size bytes; FALSE (and "") when it does not fit. */
BOOL JoinPath(char *path, int size, const char *directory, const char *name);

void ShowLastError(HWND owner);

/* A message box with a string resource as text and the caption 10000. */
int ShowMessage(UINT textId, UINT type);

#endif
