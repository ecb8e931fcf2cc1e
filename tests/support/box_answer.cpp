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

/* Polls: the box belongs to a modal loop this thread cannot wait on. */
DWORD WINAPI BoxAnswer::Run(void *self)
{
    BoxAnswer *answer = (BoxAnswer *)self;
    for (int i = 0; i < 1000; i++) {
        HWND box = FindWindowA("#32770", answer->caption_.c_str());
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
