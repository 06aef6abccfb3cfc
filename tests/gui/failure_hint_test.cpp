// The step the info line suggests after a failure.
#include <gtest/gtest.h>

#include "gui/failure_hint.h"
#include "link/link_status.h"

namespace orvix {
namespace {

TEST(FailureHint, NamesTheNextStepOnlyForAFailureThatStays) {
    const struct {
        int status;
        bool linkEnded;
        const char* hint;
    } cases[] = {
        {kStatusLoginFail, false, "Check the account and password with Info Setup"},
        {kStatusConnectFail, true, "Check the address, or that the recorder is on"},
        {kStatusConnectFail, false, ""},  // a reconnect follows
        {kStatusDataSendOk, false, ""},
        {kStatusDisconnect, true, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(failureHint(c.status, c.linkEnded).toStdString(), c.hint) << c.status << " " << c.linkEnded;
    }
}

}  // namespace
}  // namespace orvix
