// What the info line adds after a connection failed for good: the step the
// user can take next, by the status the link stopped at.
#pragma once

#include <QString>

namespace orvix {

// "Check the account and password with Info Setup" for a refused login,
// "Check the address, or that the recorder is on" for a connect that ended
// without reaching the recorder (`linkEnded`: no reconnect follows); empty
// otherwise.
QString failureHint(int status, bool linkEnded);

}  // namespace orvix
