// The /v1 API: the handlers, on the HTTP adapter's types, over the core.
#pragma once

#include <string>

#include "gateway.h"
#include "http.h"
#include "session.h"

namespace trvgw {

struct ApiOptions {
    // Tokens (hashed); empty: no token needed.
    std::vector<Token> tokens;
    // Requests over the Unix socket have every scope (its file permissions
    // decide who may connect).
    bool unixTrusted = true;
    double maxWaitS = 300;
    // Sign-in sessions of the support page (a cookie in place of the token).
    Sessions* sessions = nullptr;
};

void addRoutes(http::Router& router, Gateway& gw, const ApiOptions& opt);

// RFC 9457 problem details into the response.
void problem(http::Response& res, int status, const std::string& slug, const std::string& title,
             const std::string& detail, const Json& extra = Json::object());

// The OpenAPI description of the whole API.
Json openapiDocument();

}  // namespace trvgw
