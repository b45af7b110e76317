// The static file server: the browser console's web files under the web
// root and the product site under the site root, served as they are. It
// touches no engine state, so the server calls it without the engine mutex.
#pragma once

#include <string>
#include <string_view>

#include "http/http_message.h"

namespace orvane {

// Whether a request goes to the file server rather than the route table: a
// GET whose path is "/" or "/site", begins with "/site/", or contains a ".".
bool is_static_request(std::string_view method, std::string_view path);

// The file named by `path`: "/" is the web root's index.html, "/site" and
// "/site/" the site root's, "/site/<rest>" <rest> under the site root and
// any other path that name under the web root. Empty roots mean "web" and
// "site", relative to the working directory. Answers 200 with the bytes and
// a content type chosen by the name's ending (.js, .css, .svg, .json; HTML
// otherwise), or 404 "not found" as text/plain for every failure: a path
// that is empty, does not begin with "/", begins with "//" or holds "..";
// a name that resolves (through symbolic links) outside its root; a
// missing, unreadable, empty or non-regular file. Never throws for a bad
// path or file.
HttpResponse serve_static_file(std::string_view path, const std::string& web_root, const std::string& site_root);

}  // namespace orvane
