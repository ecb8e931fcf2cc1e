#include "tests/support/box_answer.h"

BoxAnswer::BoxAnswer(const std::string &caption) : caption_(caption)
{
    thread_ = CreateThread(NULL, 0, Run, this, 0, NULL);
}

BoxAnswer::~BoxAnswer()
{
    Text();
    CloseHandle(thread_);
}

std::string BoxAnswer::Text()
{
    WaitForSingleObject(thread_, 25000);
    return text_;
}

struct OwnBoxSearch {
    HWND found;
};

static BOOL CALLBACK FindOwnBox(HWND window, LPARAM lParam)
{
    char name[16];
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != GetCurrentProcessId() || !IsWindowVisible(window) ||
        !GetClassNameA(window, name, sizeof(name)) || lstrcmpA(name, "#32770") != 0)
        return TRUE;
    ((OwnBoxSearch *)lParam)->found = window;
    return FALSE;
}

/* The caption of a box, or with none given, this process's first box (a box
   without caption shows the system's word for "Error", which differs by
   language). */
static HWND FindBox(const std::string &caption)
{
    if (!caption.empty())
        return FindWindowA("#32770", caption.c_str());
    OwnBoxSearch search = { NULL };
    EnumWindows(FindOwnBox, (LPARAM)&search);
    return search.found;
}

/* Polls: the box belongs to a modal loop this thread cannot wait on. */
DWORD WINAPI BoxAnswer::Run(void *self)
{
    BoxAnswer *answer = (BoxAnswer *)self;
    for (int i = 0; i < 1000; i++) {
        HWND box = FindBox(answer->caption_);
        if (box && IsWindowVisible(box)) {
            char text[1024] = "";
            GetDlgItemTextA(box, 0xFFFF, text, sizeof(text));
            answer->text_ = text;
            PostMessageA(box, WM_COMMAND, IDOK, 0);
            return 0;
        }
        Sleep(20);
    }
    return 1;
}
