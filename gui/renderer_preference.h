// Which view the program draws pictures in: `Auto` takes OpenGL only where
// hardware does it (a software rasterizer such as Mesa's llvmpipe costs
// several times the CPU of the software view), `Software` never uses
// OpenGL, `OpenGl` uses it wherever a context can be made. Set once from
// the command line, read at each connection's set-up.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace orvix {

enum class RendererPreference { Auto, Software, OpenGl };

// "auto", "software", "opengl"; nullopt for anything else.
std::optional<RendererPreference> parseRendererPreference(std::string_view text);

// GUI thread.
void setRendererPreference(RendererPreference preference);
RendererPreference rendererPreference();

// True when the OpenGL renderer string names a software rasterizer
// (llvmpipe, softpipe, swrast), in any case.
bool isSoftwareRasterizer(std::string_view renderer);

// Whether a connection uses the OpenGL view, given the preference, whether a
// context can be made and the renderer string it reports.
bool useOpenGl(RendererPreference preference, bool contextAvailable, std::string_view renderer);

}  // namespace orvix
