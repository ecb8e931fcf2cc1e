#include "tests/support/boxes.h"
#include "tests/support/scratch.h"

struct BoxSearch {
    const char *className;
    DWORD process;
    const char *caption;
    HWND except;
    BoxKind kind;
    HWND found;
};

static BOOL CALLBACK MatchBox(HWND window, LPARAM lParam)
{
    BoxSearch *search = (BoxSearch *)lParam;
    char name[64], caption[260];
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (!IsWindowVisible(window) || window == search->except || (search->process && owner != search->process) ||
        !GetClassNameA(window, name, sizeof(name)) || lstrcmpA(name, search->className) != 0)
        return TRUE;
    bool messageBox = GetDlgItem(window, 0xFFFF) != NULL;
    if ((search->kind == MESSAGE_BOX && !messageBox) || (search->kind == DIALOG_BOX && messageBox))
        return TRUE;
    if (search->caption && (!GetWindowTextA(window, caption, sizeof(caption)) ||
                            lstrcmpA(search->caption, caption) != 0))
        return TRUE;
    search->found = window;
    return FALSE;
}

HWND FindBox(DWORD process, const char *caption, HWND except, BoxKind kind, const char *className)
{
    BoxSearch search = { className, process, caption, except, kind, NULL };
    EnumWindows(MatchBox, (LPARAM)&search);
    return search.found;
}

std::string BoxText(HWND box)
{
    char text[1024] = "";
    GetDlgItemTextA(box, 0xFFFF, text, sizeof(text));
    return text;
}

PollingThread::PollingThread(DWORD period) : period_(period), thread_(NULL)
{
    stop_ = CreateEventA(NULL, TRUE, FALSE, NULL);
}

PollingThread::~PollingThread()
{
    Stop();
    CloseHandle(stop_);
}

void PollingThread::Start()
{
    thread_ = CreateThread(NULL, 0, Run, this, 0, NULL);
}

void PollingThread::Stop()
{
    if (!thread_)
        return;
    SetEvent(stop_);
    WaitForSingleObject(thread_, 10000);
    CloseHandle(thread_);
    thread_ = NULL;
}

void PollingThread::WaitGone(HWND window)
{
    for (int i = 0; i < 1000 && IsWindow(window) && IsWindowVisible(window); i++)
        if (WaitForSingleObject(stop_, 5) != WAIT_TIMEOUT)
            return;
}

DWORD WINAPI PollingThread::Run(void *self)
{
    PollingThread *thread = (PollingThread *)self;
    while (WaitForSingleObject(thread->stop_, thread->period_) == WAIT_TIMEOUT)
        thread->Poll();
    return 0;
}

BoxWatcher::BoxWatcher(const char *caption) : PollingThread(10), caption_(caption ? caption : ""), count_(0), owner_(NULL)
{
    text_[0] = 0;
    Start();
}

BoxWatcher::~BoxWatcher()
{
    Stop();
}

std::string BoxWatcher::LastText() const
{
    return text_;
}

std::string BoxWatcher::Text()
{
    PumpUntil([this] { return Count() > 0; }, 20000);
    return LastText();
}

void BoxWatcher::Poll()
{
    HWND box = caption_.empty() ? FindBox(GetCurrentProcessId(), NULL, NULL, MESSAGE_BOX)
                                : FindBox(0, caption_.c_str(), NULL, MESSAGE_BOX);
    if (!box)
        return;
    lstrcpynA(text_, BoxText(box).c_str(), sizeof(text_));
    owner_ = GetWindow(box, GW_OWNER);
    InterlockedIncrement(&count_);
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    WaitGone(box);
}

DialogDriver::DialogDriver(Action action, void *context, HWND ignore, const char *name)
    : PollingThread(5), action_(action), context_(context), ignore_(ignore), name_(name), count_(0)
{
    Start();
}

DialogDriver::~DialogDriver()
{
    Stop();
}

void DialogDriver::Poll()
{
    HWND dialog = FindBox(GetCurrentProcessId(), NULL, ignore_, DIALOG_BOX, name_);
    if (!dialog)
        return;
    action_(dialog, context_);
    InterlockedIncrement(&count_);
    WaitGone(dialog);
}
