#include "tests/support/http_server.h"
#include <ws2tcpip.h>
#include <stdio.h>

LoopbackServer::LoopbackServer()
    : listener_(INVALID_SOCKET), port_(0), thread_(NULL)
{
    released_ = CreateEventA(NULL, TRUE, FALSE, NULL);
    stopping_ = CreateEventA(NULL, TRUE, FALSE, NULL);
    InitializeCriticalSection(&lock_);
}

LoopbackServer::~LoopbackServer()
{
    Stop();
    CloseHandle(released_);
    CloseHandle(stopping_);
    DeleteCriticalSection(&lock_);
}

bool LoopbackServer::Start()
{
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0)
        return false;
    listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (listener_ == INVALID_SOCKET)
        return false;
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    if (bind(listener_, (sockaddr *)&address, sizeof(address)) != 0 || listen(listener_, 16) != 0)
        return false;
    int length = sizeof(address);
    getsockname(listener_, (sockaddr *)&address, &length);
    port_ = ntohs(address.sin_port);
    thread_ = CreateThread(NULL, 0, AcceptThread, this, 0, NULL);
    return thread_ != NULL;
}

void LoopbackServer::Stop()
{
    if (!thread_)
        return;
    SetEvent(stopping_);
    SetEvent(released_);
    closesocket(listener_);
    WaitForSingleObject(thread_, 5000);
    CloseHandle(thread_);
    thread_ = NULL;
    EnterCriticalSection(&lock_);
    for (SOCKET s : openSockets_)
        shutdown(s, SD_BOTH);
    std::vector<HANDLE> clients = clients_;
    clients_.clear();
    LeaveCriticalSection(&lock_);
    for (HANDLE client : clients) {
        WaitForSingleObject(client, 5000);
        CloseHandle(client);
    }
    WSACleanup();
}

void LoopbackServer::Serve(const std::string &path, const std::string &body, int status,
                           const std::string &contentType, Mode mode)
{
    EnterCriticalSection(&lock_);
    for (Route &route : routes_) {
        if (route.path == path) {
            route.body = body;
            route.status = status;
            route.contentType = contentType;
            route.mode = mode;
            LeaveCriticalSection(&lock_);
            return;
        }
    }
    routes_.push_back(Route{ path, body, contentType, status, mode, 0, "", "", "", false });
    LeaveCriticalSection(&lock_);
}

LoopbackServer::Route *LoopbackServer::FindLocked(const std::string &path)
{
    for (Route &route : routes_)
        if (route.path == path)
            return &route;
    routes_.push_back(Route{ path, "", "text/xml", 200, Answer, 0, "", "", "", false });
    return &routes_.back();
}

void LoopbackServer::Headers(const std::string &path, const std::string &lines)
{
    EnterCriticalSection(&lock_);
    FindLocked(path)->headers = lines;
    LeaveCriticalSection(&lock_);
}

void LoopbackServer::Validate(const std::string &path, const std::string &etag)
{
    EnterCriticalSection(&lock_);
    FindLocked(path)->etag = etag;
    LeaveCriticalSection(&lock_);
}

void LoopbackServer::Unsized(const std::string &path)
{
    EnterCriticalSection(&lock_);
    FindLocked(path)->unsized = true;
    LeaveCriticalSection(&lock_);
}

std::string LoopbackServer::LastRequest(const std::string &path)
{
    EnterCriticalSection(&lock_);
    std::string request;
    for (const Route &route : routes_)
        if (route.path == path)
            request = route.lastRequest;
    LeaveCriticalSection(&lock_);
    return request;
}

void LoopbackServer::Release()
{
    SetEvent(released_);
}

int LoopbackServer::Requests(const std::string &path)
{
    EnterCriticalSection(&lock_);
    int count = 0;
    for (const Route &route : routes_)
        if (route.path == path)
            count = route.requests;
    LeaveCriticalSection(&lock_);
    return count;
}

std::string LoopbackServer::Url(const std::string &path) const
{
    char url[64];
    snprintf(url, sizeof(url), "http://127.0.0.1:%d", port_);
    return url + path;
}

bool LoopbackServer::FindRoute(const std::string &path, const std::string &request, Route *found)
{
    EnterCriticalSection(&lock_);
    bool ok = false;
    for (Route &route : routes_) {
        if (route.path == path) {
            route.requests++;
            route.lastRequest = request;
            *found = route;
            ok = true;
        }
    }
    LeaveCriticalSection(&lock_);
    return ok;
}

struct ClientContext {
    LoopbackServer *server;
    SOCKET socket;
};

DWORD WINAPI LoopbackServer::AcceptThread(void *self)
{
    LoopbackServer *server = (LoopbackServer *)self;
    for (;;) {
        SOCKET client = accept(server->listener_, NULL, NULL);
        if (client == INVALID_SOCKET)
            return 0;
        ClientContext *context = new ClientContext{ server, client };
        HANDLE thread = CreateThread(NULL, 0, ClientThread, context, 0, NULL);
        EnterCriticalSection(&server->lock_);
        /* Finished clients are let go here, so a long test does not pile them up. */
        for (size_t i = 0; i < server->clients_.size();) {
            if (WaitForSingleObject(server->clients_[i], 0) == WAIT_OBJECT_0) {
                CloseHandle(server->clients_[i]);
                server->clients_.erase(server->clients_.begin() + i);
            } else {
                i++;
            }
        }
        server->clients_.push_back(thread);
        server->openSockets_.push_back(client);
        LeaveCriticalSection(&server->lock_);
    }
}

DWORD WINAPI LoopbackServer::ClientThread(void *parameter)
{
    ClientContext *context = (ClientContext *)parameter;
    context->server->HandleClient(context->socket);
    delete context;
    return 0;
}

static std::string ReadRequest(SOCKET client)
{
    std::string request;
    char buffer[2048];
    while (request.find("\r\n\r\n") == std::string::npos && request.size() < 65536) {
        int n = recv(client, buffer, sizeof(buffer), 0);
        if (n <= 0)
            break;
        request.append(buffer, n);
    }
    return request;
}

static std::string RequestPath(const std::string &request)
{
    size_t start = request.find(' ');
    size_t end = start == std::string::npos ? start : request.find(' ', start + 1);
    if (end == std::string::npos)
        return "";
    return request.substr(start + 1, end - start - 1);
}

void LoopbackServer::HandleClient(SOCKET client)
{
    std::string request = ReadRequest(client);
    std::string path = RequestPath(request);
    Route route;
    if (!FindRoute(path, request, &route))
        route = Route{ path, "<html><body>not found</body>", "text/html", 404, Answer, 0, "", "", "", false };
    std::string extra = route.headers;
    if (!route.etag.empty()) {
        extra += "ETag: " + route.etag + "\r\n";
        if (request.find("\r\nIf-None-Match: " + route.etag + "\r\n") != std::string::npos) {
            route.status = 304;
            route.body.clear();
        }
    }
    if (route.mode == Hang) {
        WaitForSingleObject(stopping_, INFINITE);
    } else {
        if (route.mode == Hold)
            WaitForSingleObject(released_, INFINITE);
        char header[256];
        snprintf(header, sizeof(header), "HTTP/1.0 %d Status\r\nContent-Type: %s\r\n", route.status,
                 route.contentType.c_str());
        std::string response = header + extra;
        if (!route.unsized)
            response += "Content-Length: " + std::to_string(route.body.size()) + "\r\n";
        response += "Connection: close\r\n\r\n" + route.body;
        send(client, response.data(), (int)response.size(), 0);
        shutdown(client, SD_SEND);
        char drain[256];
        while (recv(client, drain, sizeof(drain), 0) > 0) {
        }
    }
    EnterCriticalSection(&lock_);
    for (size_t i = 0; i < openSockets_.size(); i++)
        if (openSockets_[i] == client)
            openSockets_.erase(openSockets_.begin() + i);
    LeaveCriticalSection(&lock_);
    closesocket(client);
}
