// The support page: the files of one folder, served at "/" beside the API.
#pragma once

#include <string>

#include "http.h"

namespace trvgw {

// The folder of the page: `given` when set, else the one beside the
// executable (build tree), else the installed one (PREFIX/share/trvgw/www).
// "" when there is none: the gateway then serves the API alone.
std::string findWwwDir(const std::string& given);

// GET / and GET /NAME for the plain files of `dir` (no subfolders, no hidden
// files, only the kinds of file a page is made of), and GET /lang/NAME for
// the library's language files in `langDir` (the page's status texts come
// from the same files as the library's).
void addStaticRoutes(http::Router& router, const std::string& dir, const std::string& langDir);

}  // namespace trvgw
