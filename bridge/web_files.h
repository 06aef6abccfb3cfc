// The bridge's web page: plain files installed with it, served as they are
// from one folder.
#pragma once

#include <string>

#include "bridge/http_server.h"

namespace orvix::bridge {

// Where the page's files are: $ORVIX_WEB_DIR, else share/orvix/web beside
// the program's bin folder (the installed tree and the build tree alike).
std::string webDirectory();

// The file `name` (a plain name: no folders, nothing hidden) of `directory`
// with its content type; 404 for any other name or a missing file.
HttpReply webFile(const std::string& directory, const std::string& name);

}  // namespace orvix::bridge
