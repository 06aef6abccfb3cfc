// An RTP payloader for MPEG-4 part 2 video (MP4V-ES) that sends each
// picture the moment it gets it, as one or more packets with the marker on
// the last. The stream's configuration (the headers before the first VOP of
// a key picture) goes into the caps, and so into the SDP as "config".
// Pictures come whole, one per buffer, as the channel feed hands them on.
#pragma once

#include <gst/gst.h>

namespace orvix::bridge {

// A new payloader element named `name`.
GstElement* createMp4vPayloader(const char* name);

}  // namespace orvix::bridge
