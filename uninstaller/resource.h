/* Resource ids shared by vmuninst.rc and the uninstaller's code. */
#ifndef VMUNINST_RESOURCE_H
#define VMUNINST_RESOURCE_H

#define IDI_UNINSTALLER         1

#define IDS_CAPTION             10000
#define IDS_CONFIRM             10001
#define IDS_REMOVED             10002
#define IDS_NOT_REMOVED         10003

#endif
