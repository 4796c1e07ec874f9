// The gateway's view of HTTP: routes, a request, a response and an event
// stream. The handlers see only these types; http_httplib.cpp maps them onto
// cpp-httplib, so that the HTTP library can be replaced without touching a
// handler.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace trvgw::http {

struct Request {
    std::string method;
    std::string path;                          // decoded, without the query
    std::vector<std::string> segments;         // the path split at '/', decoded
    std::multimap<std::string, std::string> query;
    std::map<std::string, std::string> params;  // {name} parts of the route
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
    std::string remote;  // address, or "unix" for the local socket
    bool tls = false;
    std::string clientCert;  // subject of a verified client certificate, or ""

    // The first header of that name (case-insensitive), or "".
    std::string header(const std::string& name) const;
    bool hasHeader(const std::string& name) const;
    std::string queryValue(const std::string& name, const std::string& dflt = "") const;
};

// Writes events to one client. send() returns false once the client is gone;
// the stream then ends.
class EventSink {
public:
    virtual ~EventSink() = default;
    virtual bool send(const std::string& text) = 0;
};

struct Response {
    int status = 200;
    std::string contentType = "application/json";
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;
    // Set for an event stream: called once on the connection's thread; it
    // writes events until it returns or the client goes.
    std::function<void(EventSink&)> stream;
    // Close the connection after this response (the request body was not
    // read, or the client misbehaved).
    bool close = false;

    void header(const std::string& name, const std::string& value) { headers.emplace_back(name, value); }
};

using Handler = std::function<void(const Request&, Response&)>;

// A route: method and pattern with {name} segments ("/v1/jobs/{id}").
struct Route {
    std::string method;
    std::vector<std::string> pattern;
    Handler handler;
};

class Router {
public:
    void add(const std::string& method, const std::string& pattern, Handler h);
    // Finds the route and fills req.params. 404 or 405 into `status` when none.
    const Route* match(Request& req, int& status, std::string& allow) const;

private:
    std::vector<Route> routes_;
};

struct Limits {
    size_t maxBody = 1 << 20;      // bytes of a request body
    size_t maxHeaders = 64;        // number of request headers
    size_t maxHeaderBytes = 16384; // all header lines together
    size_t threads = 128;          // connections served at once (a thread each)
    int keepAliveSec = 1;          // an idle keep-alive connection is closed after this
    int readTimeoutSec = 5;        // a client that sends nothing for this long is dropped
    size_t maxStreams = 32;        // event-stream clients at once
};

struct Listen {
    std::string host = "127.0.0.1";
    int port = 0;
    std::string unixPath;     // a Unix socket instead of TCP
    unsigned unixMode = 0660; // its file permissions
    std::string tlsCert, tlsKey;  // TLS when both are set
    std::string tlsClientCa;      // a client certificate from this CA is required
};

// Called for a request the adapter itself refuses (too large, chunked, too
// many headers, no route), so that the refusal has the gateway's format.
using Refusal = std::function<void(int status, const std::string& detail, Response&)>;

class Server {
public:
    virtual ~Server() = default;
    // Binds; returns false with a reason.
    virtual bool bind(std::string& error) = 0;
    // The port bound (TCP).
    virtual int port() const = 0;
    // Serves until stop(); blocks.
    virtual void run() = 0;
    // Stops accepting and closes connections; event streams see send() fail.
    virtual void stop() = 0;
    // Event streams open now.
    virtual size_t streams() const = 0;
};

std::unique_ptr<Server> makeServer(const Listen& where, const Limits& limits, const Router& router,
                                   Refusal refuse, std::string& error);

// Percent-decoding of one path segment or query part; false for a bad escape.
bool percentDecode(const std::string& in, std::string& out, bool plusIsSpace);

}  // namespace trvgw::http
