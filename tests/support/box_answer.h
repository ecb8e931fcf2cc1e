/* Test support: answers a message box of this or another process with OK
   from a thread of its own, since a box's modal loop holds its caller. */
#ifndef VELMORA_TEST_BOX_ANSWER_H
#define VELMORA_TEST_BOX_ANSWER_H

#include <windows.h>
#include <string>

class BoxAnswer {
public:
    /* Looks for a "#32770" window with this caption for up to 20 s; an
       empty caption takes this process's first such window. */
    explicit BoxAnswer(const std::string &caption);
    ~BoxAnswer();
    /* The answered box's text, once it was answered ("" if none came). */
    std::string Text();

private:
    static DWORD WINAPI Run(void *self);
    std::string caption_;
    std::string text_;
    HANDLE thread_;
};

#endif
