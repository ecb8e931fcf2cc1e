/* Test support: the dialogs, message boxes and menus that the code under
   test, or a program a test started, shows: one finder for all of them, and
   threads that answer them, since a box's modal loop holds its caller. */
#ifndef VELMORA_TEST_BOXES_H
#define VELMORA_TEST_BOXES_H

#include <windows.h>
#include <string>

enum BoxKind {
    ANY_BOX,
    MESSAGE_BOX,    /* a "#32770" with the static text of a message box */
    DIALOG_BOX      /* any window without that text: a dialog, a menu */
};

/* A visible top-level window of class className ("#32770": dialogs and
   message boxes, "#32768": menus) of process (0: any process), captioned
   caption (NULL: any caption), other than except, of the given kind. Null
   when there is none. */
HWND FindBox(DWORD process, const char *caption, HWND except = NULL, BoxKind kind = ANY_BOX,
             const char *className = "#32770");
/* A message box's text ("" for a window without one). */
std::string BoxText(HWND box);

/* A thread that calls Poll every period ms until Stop; the class that
   derives from it calls Start once built and Stop before it goes. */
class PollingThread {
protected:
    explicit PollingThread(DWORD period);
    virtual ~PollingThread();
    void Start();
    void Stop();
    virtual void Poll() = 0;
    /* Waits, for at most 5 s, until window is gone or hidden or Stop is called. */
    void WaitGone(HWND window);

private:
    static DWORD WINAPI Run(void *self);
    DWORD period_;
    HANDLE stop_;
    HANDLE thread_;
};

/* Answers with OK every message box of this process, or with a caption
   given, every box of that caption in any process (a box without caption
   shows the system's word for "Error", which differs by language); keeps
   the last one's text and owner. */
class BoxWatcher : private PollingThread {
public:
    explicit BoxWatcher(const char *caption = NULL);
    ~BoxWatcher();
    int Count() const { return count_; }
    std::string LastText() const;
    HWND LastOwner() const { return owner_; }
    /* Waits up to 20 s, pumping messages, for a box; its text, or "". */
    std::string Text();

private:
    void Poll() override;
    std::string caption_;
    volatile LONG count_;
    char text_[1024];
    HWND owner_;
};

/* Acts on each dialog of this process (not a message box) of class name
   that shows while it lives, other than ignore, on a thread of its own, and
   waits until that dialog is gone. */
class DialogDriver : private PollingThread {
public:
    typedef void (*Action)(HWND dialog, void *context);
    DialogDriver(Action action, void *context, HWND ignore = NULL, const char *name = "#32770");
    ~DialogDriver();
    int Count() const { return count_; }

private:
    void Poll() override;
    Action action_;
    void *context_;
    HWND ignore_;
    const char *name_;
    volatile LONG count_;
};

#endif
