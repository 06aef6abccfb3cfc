#include "gui/renderer_preference.h"

#include <algorithm>
#include <atomic>
#include <cctype>

namespace orvix {
namespace {

std::atomic<RendererPreference> gPreference{RendererPreference::Auto};

}  // namespace

std::optional<RendererPreference> parseRendererPreference(std::string_view text) {
    if (text == "auto") return RendererPreference::Auto;
    if (text == "software") return RendererPreference::Software;
    if (text == "opengl") return RendererPreference::OpenGl;
    return std::nullopt;
}

void setRendererPreference(RendererPreference preference) { gPreference.store(preference); }

RendererPreference rendererPreference() { return gPreference.load(); }

bool isSoftwareRasterizer(std::string_view renderer) {
    std::string lower(renderer);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    for (const char* name : {"llvmpipe", "softpipe", "swrast"}) {
        if (lower.find(name) != std::string::npos) return true;
    }
    return false;
}

bool useOpenGl(RendererPreference preference, bool contextAvailable, std::string_view renderer) {
    switch (preference) {
        case RendererPreference::Software: return false;
        case RendererPreference::OpenGl: return contextAvailable;
        case RendererPreference::Auto: return contextAvailable && !isSoftwareRasterizer(renderer);
    }
    return false;
}

}  // namespace orvix
