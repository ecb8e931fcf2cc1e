/* A loopback HTTP server for the tests: 127.0.0.1 on an ephemeral port,
   one thread, one route table. A route can answer at once, answer only once
   released, or accept and never answer; it can carry extra headers, answer
   a matching If-None-Match with 304, and leave its length unsaid. */
#ifndef VELMORA_TEST_HTTP_SERVER_H
#define VELMORA_TEST_HTTP_SERVER_H

#include <winsock2.h>
#include <windows.h>
#include <string>
#include <vector>

class LoopbackServer {
public:
    enum Mode { Answer, Hold, Hang };

    LoopbackServer();
    ~LoopbackServer();

    bool Start();
    void Stop();

    /* Routes match the request path exactly; unknown paths get 404. */
    void Serve(const std::string &path, const std::string &body, int status = 200,
               const std::string &contentType = "text/xml", Mode mode = Answer);
    /* Extra response header lines ("Name: value\r\n" each) for path. */
    void Headers(const std::string &path, const std::string &lines);
    /* path sends ETag etag, and answers 304 to a request that sends it back. */
    void Validate(const std::string &path, const std::string &etag);
    /* path ends its body by closing, with no Content-Length. */
    void Unsized(const std::string &path);
    /* Lets every held request answer. */
    void Release();
    int Requests(const std::string &path);
    /* The last request for path as received: request line and headers. */
    std::string LastRequest(const std::string &path);
    std::string Url(const std::string &path) const;

private:
    struct Route {
        std::string path, body, contentType;
        int status;
        Mode mode;
        int requests;
        std::string headers, etag, lastRequest;
        bool unsized;
    };
    Route *FindLocked(const std::string &path);
    static DWORD WINAPI AcceptThread(void *self);
    static DWORD WINAPI ClientThread(void *context);
    void HandleClient(SOCKET client);
    bool FindRoute(const std::string &path, const std::string &request, Route *route);

    SOCKET listener_;
    int port_;
    HANDLE thread_;
    HANDLE released_;
    HANDLE stopping_;
    CRITICAL_SECTION lock_;
    std::vector<Route> routes_;
    std::vector<HANDLE> clients_;
    std::vector<SOCKET> openSockets_;
};

#endif
