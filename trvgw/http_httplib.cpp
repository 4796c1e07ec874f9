// The HTTP adapter on cpp-httplib 0.11 (Debian's libcpp-httplib). What that
// version needs from us:
// - it holds a thread for every open connection, idle keep-alive ones too:
//   the pool is sized from Limits::threads, an idle keep-alive connection is
//   closed after about a second, and event streams (which hold their thread
//   as long as the client listens) are capped;
// - its payload limit looks only at Content-Length, and a chunked request
//   body is read whatever its size: such bodies are refused (411) before a
//   byte of them is read, as are bodies over the limit (413), both answered
//   with "Connection: close" since the body stays unread;
// - it bounds each header line (8 KiB) but not their number: requests with
//   more headers, or more header bytes, than Limits allows are refused (431).
// Every path is split and decoded here, segment by segment, so that an
// encoded slash stays inside its segment and "." or ".." never reach a
// handler.
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <httplib.h>

#include <algorithm>
#include <cctype>
#include <cstring>

#include "http.h"

namespace trvgw::http {

namespace {

bool iequals(const std::string& a, const std::string& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::vector<std::string> splitPath(const std::string& p) {
    std::vector<std::string> out;
    size_t i = 0;
    while (i < p.size()) {
        if (p[i] == '/') {
            ++i;
            continue;
        }
        const size_t j = p.find('/', i);
        out.push_back(p.substr(i, j == std::string::npos ? std::string::npos : j - i));
        if (j == std::string::npos) break;
        i = j;
    }
    return out;
}

class SinkAdapter : public EventSink {
public:
    SinkAdapter(httplib::DataSink& sink, const std::atomic<bool>& stopping) : sink_(sink), stopping_(stopping) {}
    bool send(const std::string& text) override {
        if (stopping_ || broken_) return false;
        if (!sink_.is_writable() || !sink_.write(text.data(), text.size())) broken_ = true;
        return !broken_;
    }

private:
    httplib::DataSink& sink_;
    const std::atomic<bool>& stopping_;
    bool broken_ = false;
};

class HttplibServer : public Server {
public:
    HttplibServer(const Listen& where, const Limits& limits, const Router& router, Refusal refuse)
        : where_(where), limits_(limits), router_(router), refuse_(std::move(refuse)) {}

    bool create(std::string& error) {
        if (!where_.tlsCert.empty()) {
            auto s = std::make_unique<httplib::SSLServer>(where_.tlsCert.c_str(), where_.tlsKey.c_str(),
                                                          where_.tlsClientCa.empty() ? nullptr
                                                                                     : where_.tlsClientCa.c_str());
            if (!s->is_valid()) {
                error = "cannot load the TLS certificate, key or client CA";
                return false;
            }
            tls_ = true;
            svr_ = std::move(s);
        } else {
            svr_ = std::make_unique<httplib::Server>();
        }
        const size_t threads = std::max<size_t>(limits_.threads, 4);
        svr_->new_task_queue = [threads] { return new httplib::ThreadPool(threads); };
        svr_->set_keep_alive_timeout(limits_.keepAliveSec);
        svr_->set_keep_alive_max_count(1000);
        svr_->set_read_timeout(limits_.readTimeoutSec, 0);
        svr_->set_write_timeout(limits_.readTimeoutSec, 0);
        svr_->set_payload_max_length(limits_.maxBody);
        svr_->set_tcp_nodelay(true);
        // The library listens with a backlog of 5: a burst of new clients
        // then waits for SYN retransmissions, long enough to miss the
        // keep-alive window in which the first request must arrive. The
        // listening socket is kept here and its backlog raised after the bind.
        svr_->set_socket_options([this](int sock) {
            int yes = 1;
            setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
            listenFd_ = sock;
        });
        svr_->set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
            return precheck(req, res) ? httplib::Server::HandlerResponse::Unhandled
                                      : httplib::Server::HandlerResponse::Handled;
        });
        auto h = [this](const httplib::Request& req, httplib::Response& res) { dispatch(req, res); };
        svr_->Get(".*", h);
        svr_->Post(".*", h);
        svr_->Put(".*", h);
        svr_->Patch(".*", h);
        svr_->Delete(".*", h);
        svr_->Options(".*", h);
        // The library's own refusals (a bad request line, an over-long URI,
        // a body over the limit) get the gateway's format too.
        svr_->set_error_handler(httplib::Server::HandlerWithResponse([this](const httplib::Request&, httplib::Response& res) {
            if (!res.body.empty()) return httplib::Server::HandlerResponse::Unhandled;
            Response r;
            refuse_(res.status, res.status == 413 ? "the request body is too large" : "the request was refused", r);
            apply(r, res);
            return httplib::Server::HandlerResponse::Handled;
        }));
        svr_->set_exception_handler([this](const httplib::Request&, httplib::Response& res, std::exception_ptr) {
            Response r;
            refuse_(500, "internal error", r);
            apply(r, res);
        });
        return true;
    }

    bool bind(std::string& error) override {
        if (!where_.unixPath.empty()) {
            svr_->set_address_family(AF_UNIX);
            struct stat st {};
            if (lstat(where_.unixPath.c_str(), &st) == 0 && S_ISSOCK(st.st_mode)) unlink(where_.unixPath.c_str());
            if (!svr_->bind_to_port(where_.unixPath, 80)) {
                error = "cannot bind the Unix socket " + where_.unixPath + ": " + std::strerror(errno);
                return false;
            }
            raiseBacklog();
            if (chmod(where_.unixPath.c_str(), where_.unixMode) != 0) {
                error = "cannot set the permissions of " + where_.unixPath;
                return false;
            }
            port_ = 0;
            return true;
        }
        if (where_.port == 0) {
            port_ = svr_->bind_to_any_port(where_.host);
            if (port_ <= 0) {
                error = "cannot listen on " + where_.host + ": " + std::strerror(errno);
                return false;
            }
            raiseBacklog();
            return true;
        }
        if (!svr_->bind_to_port(where_.host, where_.port)) {
            error = "cannot listen on " + where_.host + ":" + std::to_string(where_.port) + ": " + std::strerror(errno);
            return false;
        }
        port_ = where_.port;
        raiseBacklog();
        return true;
    }

    void raiseBacklog() {
        if (listenFd_ >= 0) ::listen(listenFd_, 1024);
    }

    int port() const override { return port_; }
    void run() override {
        svr_->listen_after_bind();
        if (!where_.unixPath.empty()) unlink(where_.unixPath.c_str());
    }
    void stop() override {
        stopping_ = true;
        svr_->stop();
    }
    size_t streams() const override { return streams_; }

private:
    // The checks before a byte of the body is read; false when refused.
    bool precheck(const httplib::Request& req, httplib::Response& res) {
        size_t bytes = 0;
        for (const auto& [k, v] : req.headers) bytes += k.size() + v.size() + 4;
        Response r;
        if (req.headers.size() > limits_.maxHeaders || bytes > limits_.maxHeaderBytes) {
            refuse_(431, "too many or too large request headers", r);
        } else if (req.has_header("Transfer-Encoding")) {
            refuse_(411, "a request body must have a Content-Length (chunked bodies are not taken)", r);
        } else if (req.has_header("Content-Length")) {
            const std::string cl = req.get_header_value("Content-Length");
            size_t n = 0;
            const bool digits = !cl.empty() && cl.size() < 19 &&
                                std::all_of(cl.begin(), cl.end(), [](char c) { return c >= '0' && c <= '9'; });
            if (digits) n = std::stoull(cl);
            if (!digits) refuse_(400, "a bad Content-Length", r);
            else if (n > limits_.maxBody)
                refuse_(413, "the request body is larger than " + std::to_string(limits_.maxBody) + " bytes", r);
            else return true;
        } else {
            return true;
        }
        r.close = true;
        apply(r, res);
        return false;
    }

    void dispatch(const httplib::Request& hreq, httplib::Response& hres) {
        Request req;
        req.method = hreq.method;
        req.body = hreq.body;
        req.tls = tls_;
        req.remote = where_.unixPath.empty() ? hreq.remote_addr : "unix";
        for (const auto& h : hreq.headers) req.headers.push_back(h);
        Response res;
        // The raw target: the path decoded segment by segment, then the query.
        const std::string& target = hreq.target;
        const size_t q = target.find('?');
        const std::string rawPath = target.substr(0, q);
        bool bad = rawPath.empty() || rawPath[0] != '/';
        for (const std::string& seg : splitPath(rawPath)) {
            std::string d;
            if (!percentDecode(seg, d, false) || d.empty() || d == "." || d == ".." ||
                d.find('\0') != std::string::npos || d.find('/') != std::string::npos) {
                bad = true;
                break;
            }
            req.segments.push_back(d);
        }
        if (q != std::string::npos && !bad) {
            std::string query = target.substr(q + 1);
            size_t i = 0;
            while (i <= query.size()) {
                const size_t amp = std::min(query.find('&', i), query.size());
                const std::string part = query.substr(i, amp - i);
                if (!part.empty()) {
                    const size_t eq = part.find('=');
                    std::string k, v;
                    if (!percentDecode(part.substr(0, eq), k, true) ||
                        (eq != std::string::npos && !percentDecode(part.substr(eq + 1), v, true)))
                        bad = true;
                    req.query.emplace(k, v);
                }
                i = amp + 1;
            }
        }
        if (bad) {
            refuse_(400, "a bad path or query", res);
            apply(res, hres);
            return;
        }
        req.path = "/";
        for (size_t i = 0; i < req.segments.size(); ++i) req.path += (i ? "/" : "") + req.segments[i];
        if (tls_ && hreq.ssl) {
            if (X509* cert = SSL_get1_peer_certificate(const_cast<SSL*>(hreq.ssl))) {
                char buf[512];
                X509_NAME_oneline(X509_get_subject_name(cert), buf, sizeof buf);
                req.clientCert = buf;
                X509_free(cert);
            }
        }
        int status = 404;
        std::string allow;
        const Route* route = router_.match(req, status, allow);
        if (!route) {
            refuse_(status, status == 405 ? "method not allowed here" : "no such resource", res);
            if (!allow.empty()) res.header("Allow", allow);
            apply(res, hres);
            return;
        }
        try {
            route->handler(req, res);
        } catch (const std::exception& e) {
            res = Response();
            refuse_(500, std::string("internal error: ") + e.what(), res);
        }
        if (res.stream) {
            if (streams_.fetch_add(1) >= limits_.maxStreams) {
                --streams_;
                Response r;
                refuse_(503, "too many event-stream clients", r);
                r.header("Retry-After", "5");
                apply(r, hres);
                return;
            }
        }
        apply(res, hres);
    }

    void apply(Response& r, httplib::Response& hres) {
        hres.status = r.status;
        for (const auto& [k, v] : r.headers) hres.set_header(k, v);
        if (r.close) hres.set_header("Connection", "close");
        if (r.stream) {
            auto fn = std::move(r.stream);
            hres.set_header("Cache-Control", "no-store");
            hres.set_chunked_content_provider(
                r.contentType,
                [this, fn](size_t, httplib::DataSink& sink) {
                    SinkAdapter a(sink, stopping_);
                    fn(a);
                    sink.done();
                    return true;
                },
                [this](bool) { --streams_; });
            return;
        }
        hres.set_content(r.body, r.contentType);
    }

    Listen where_;
    Limits limits_;
    const Router& router_;
    Refusal refuse_;
    std::unique_ptr<httplib::Server> svr_;
    bool tls_ = false;
    int port_ = 0;
    int listenFd_ = -1;
    std::atomic<bool> stopping_{false};
    std::atomic<size_t> streams_{0};
};

}  // namespace

std::string Request::header(const std::string& name) const {
    for (const auto& [k, v] : headers)
        if (iequals(k, name)) return v;
    return "";
}

bool Request::hasHeader(const std::string& name) const {
    for (const auto& h : headers)
        if (iequals(h.first, name)) return true;
    return false;
}

std::string Request::queryValue(const std::string& name, const std::string& dflt) const {
    auto it = query.find(name);
    return it == query.end() ? dflt : it->second;
}

void Router::add(const std::string& method, const std::string& pattern, Handler h) {
    routes_.push_back({method, splitPath(pattern), std::move(h)});
}

const Route* Router::match(Request& req, int& status, std::string& allow) const {
    status = 404;
    for (const Route& r : routes_) {
        if (r.pattern.size() != req.segments.size()) continue;
        std::map<std::string, std::string> params;
        bool ok = true;
        for (size_t i = 0; ok && i < r.pattern.size(); ++i) {
            const std::string& p = r.pattern[i];
            if (p.size() > 2 && p.front() == '{' && p.back() == '}') params[p.substr(1, p.size() - 2)] = req.segments[i];
            else ok = p == req.segments[i];
        }
        if (!ok) continue;
        if (r.method != req.method && !(r.method == "GET" && req.method == "HEAD")) {
            status = 405;
            if (allow.find(r.method) == std::string::npos) allow += (allow.empty() ? "" : ", ") + r.method;
            continue;
        }
        req.params = std::move(params);
        return &r;
    }
    return nullptr;
}

bool percentDecode(const std::string& in, std::string& out, bool plusIsSpace) {
    out.clear();
    for (size_t i = 0; i < in.size(); ++i) {
        const char c = in[i];
        if (c == '%') {
            if (i + 2 >= in.size()) return false;
            const int hi = hexValue(in[i + 1]), lo = hexValue(in[i + 2]);
            if (hi < 0 || lo < 0) return false;
            out.push_back(static_cast<char>(hi * 16 + lo));
            i += 2;
        } else if (c == '+' && plusIsSpace) {
            out.push_back(' ');
        } else {
            out.push_back(c);
        }
    }
    return true;
}

std::unique_ptr<Server> makeServer(const Listen& where, const Limits& limits, const Router& router, Refusal refuse,
                                   std::string& error) {
    auto s = std::make_unique<HttplibServer>(where, limits, router, std::move(refuse));
    if (!s->create(error)) return nullptr;
    return s;
}

}  // namespace trvgw::http
