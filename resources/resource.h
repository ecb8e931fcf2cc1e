/* Resource ids shared by velmora.rc and the code. */
#ifndef VELMORA_RESOURCE_H
#define VELMORA_RESOURCE_H

#define IDR_MANIFEST            2

#define IDB_LOGO                200
#define IDB_SPEED               201
#define IDB_FEED                210

#define IDM_MAIN                600
#define IDM_SOURCES             604
#define IDM_FONT                605
#define IDM_TEXTCOLOR           606
#define IDM_BACKCOLOR           607
#define IDM_HELP                608
#define IDM_LINKCOLOR           609
#define IDM_HOMEPAGE            610
#define IDM_FASTER              612
#define IDM_SLOWER              614

#define IDM_ITEM                700
#define IDM_ITEM_NEWWINDOW      701
#define IDM_ITEM_HIDE           702

#define IDS_DEFAULT_FEED        20002
#define IDS_DEFAULT_SERVERS     20003
#define IDS_SETTINGS_FILE       20004
#define IDS_SERVER_URL_HEADER   20005
#define IDS_PRODUCT_NAME        20006
#define IDS_NO_DESCRIPTION      20007
#define IDS_PRODUCT_KEY         20009
#define IDS_ABOUT_TEXT          20015
#define IDS_INACTIVE            20018
#define IDS_LOADING             20019
#define IDS_LOAD_FAILED         20020
#define IDS_HOMEPAGE_URL        20050
#define IDS_SUPPORT_PATH        20057
#define IDS_ABOUT_URL           20059

#endif
