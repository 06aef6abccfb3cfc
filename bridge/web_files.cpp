#include "bridge/web_files.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>

namespace orvix::bridge {
namespace {

const std::map<std::string, std::string> kTypes = {
    {".html", "text/html; charset=utf-8"},
    {".css", "text/css; charset=utf-8"},
    {".js", "text/javascript; charset=utf-8"},
    {".svg", "image/svg+xml"},
    {".png", "image/png"},
};

bool plainName(const std::string& name) {
    if (name.empty() || name.front() == '.' || name.size() > 64) return false;
    for (char c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '-' && c != '_') return false;
    }
    return true;
}

}  // namespace

std::string webDirectory() {
    if (const char* dir = std::getenv("ORVIX_WEB_DIR"); dir != nullptr && *dir != '\0') return dir;
    std::error_code failed;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", failed);
    if (failed) return "/usr/share/orvix/web";
    return (program.parent_path().parent_path() / "share" / "orvix" / "web").string();
}

HttpReply webFile(const std::string& directory, const std::string& name) {
    const HttpReply missing{404, "text/plain; charset=utf-8", "not found\n"};
    if (!plainName(name)) return missing;
    const std::filesystem::path path = std::filesystem::path(directory) / name;
    const auto type = kTypes.find(path.extension().string());
    if (type == kTypes.end()) return missing;
    std::ifstream in(path, std::ios::binary);
    if (!in) return missing;
    HttpReply reply{200, type->second, std::string(std::istreambuf_iterator<char>(in), {})};
    reply.headers.emplace_back("Cache-Control", "no-cache");
    return reply;
}

}  // namespace orvix::bridge
