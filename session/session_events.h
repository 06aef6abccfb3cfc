// What a session tells its front end, each on the owner's thread and in the
// order the link reported it. Copies only: nothing points into the link.
#pragma once

#include "link/link_notifier.h"

namespace orvix {

// The link's reports (see ConnectionReports), each called on the owner's
// thread. After connected() the same description stays readable through
// VideoSession::recorder(); the status through VideoSession::status().
class SessionEvents : public ConnectionReports {};

}  // namespace orvix
