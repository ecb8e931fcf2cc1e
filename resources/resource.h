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
#define IDM_REFRESH             616
#define IDM_PAUSE               620

#define IDM_ITEM                700
#define IDM_ITEM_NEWWINDOW      701
#define IDM_ITEM_HIDE           702

#define IDD_SOURCES             4000
#define IDC_SERVER_LIST         4010
#define IDC_NEW_SERVER          4020
#define IDC_REMOVE              4030
#define IDC_EDIT                4040
#define IDC_AS_DEFAULT          4050
#define IDC_DEFAULT_FEED        4060
#define IDC_REFRESH             4070

#define IDD_URL_INPUT           4100
#define IDC_URL                 4110
#define IDC_URL_PROMPT          4120

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
#define IDS_LIST_FULL           20061
#define IDS_LIST_TOO_LONG       20062
/* One text per fetch cause, in the order of FetchCause. */
#define IDS_FETCH_STATUS        20070
#define IDS_ACC_OPEN            20080

#endif
