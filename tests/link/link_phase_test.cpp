// The run's phases: how events move them, which ends are retried, and which
// answer each step of connecting waits for.
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "link/link_phase.h"

using namespace orvix;

namespace {

using P = LinkPhase;
using E = LinkEvent;

struct Move {
    P from;
    E event;
    bool retrying;
    P to;
};

}  // namespace

TEST(LinkPhase, EventsMoveThePhase) {
    const Move moves[] = {
        // Through the DDNS server to the recorder.
        {P::Idle, E::DdnsConnect, false, P::DdnsQuery},
        {P::DdnsQuery, E::DdnsAnswer, false, P::DdnsAnswered},
        {P::DdnsAnswered, E::RecorderConnect, false, P::Greeting},
        {P::Greeting, E::RecorderWords, false, P::ConnectAnswer},
        {P::ConnectAnswer, E::ConnectAnswered, false, P::LoginAnswer},
        {P::LoginAnswer, E::LoginAnswered, false, P::DataAnswer},
        {P::DataAnswer, E::VideoFlowing, false, P::Streaming},
        {P::ConnectAnswer, E::ConnectHeld, false, P::Held},
        {P::Held, E::ConnectAnswered, false, P::LoginAnswer},
        // Answers repeated once video flows start no new handshake.
        {P::Streaming, E::ConnectAnswered, false, P::Streaming},
        {P::Streaming, E::LoginAnswered, false, P::Streaming},
        // The first words alone tell a DDNS server at the recorder's address:
        // followed once, the second time the run ends.
        {P::Greeting, E::DdnsWords, false, P::Referral},
        {P::LoginAnswer, E::DdnsWords, false, P::LoginAnswer},
        {P::Referral, E::DdnsAnswer, false, P::ReferralAnswered},
        {P::ReferralAnswered, E::RecorderConnect, false, P::ReferredGreeting},
        {P::ReferredGreeting, E::DdnsWords, false, P::DdnsLoop},
        {P::ReferredGreeting, E::RecorderWords, false, P::ConnectAnswer},
        // Only a recorder's confirmation means video flows.
        {P::DdnsQuery, E::VideoFlowing, false, P::DdnsQuery},
        {P::Idle, E::VideoFlowing, false, P::Idle},
        // The video watch tells a silence once, until video comes back.
        {P::Streaming, E::VideoSilent, false, P::VideoMissing},
        {P::VideoMissing, E::VideoBack, false, P::Streaming},
        {P::VideoMissing, E::VideoFlowing, false, P::Streaming},
        {P::DataAnswer, E::VideoSilent, false, P::DataAnswer},
        // A refusal after video had flowed in the run is kept apart.
        {P::LoginAnswer, E::LoginRefused, false, P::Refused},
        {P::LoginAnswer, E::LoginRefused, true, P::RetryRefused},
        {P::Streaming, E::LoginRefused, false, P::RetryRefused},
        {P::Refused, E::VideoFlowing, false, P::RetryRefused},
        {P::Idle, E::LoginRefused, false, P::Idle},
        // Losing, waiting, connecting again; the final end.
        {P::Streaming, E::Lost, false, P::RetryWait},
        {P::RetryWait, E::RetryTime, true, P::RetryDue},
        {P::RetryDue, E::RecorderConnect, true, P::Greeting},
        {P::RetryDue, E::DdnsConnect, true, P::DdnsQuery},
        {P::Refused, E::Ended, false, P::Idle},
        {P::Streaming, E::RetryTime, false, P::Streaming},
    };
    for (const Move& m : moves) {
        EXPECT_EQ(nextPhase(m.from, m.event, m.retrying), m.to)
            << static_cast<int>(m.from) << " + " << static_cast<int>(m.event);
    }
}

TEST(LinkPhase, EndsAreRetriedOnceVideoHasFlowedAndNeverAfterARefusal) {
    struct Case {
        P phase;
        bool retrying;
        bool retried;
    };
    const Case cases[] = {
        {P::Streaming, false, true},     {P::VideoMissing, false, true}, {P::DataAnswer, false, false},
        {P::DataAnswer, true, true},     {P::DdnsQuery, true, true},     {P::DdnsLoop, true, true},
        {P::Greeting, false, false},     {P::Refused, true, false},      {P::RetryRefused, true, false},
        {P::Idle, true, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(endIsRetried(c.phase, c.retrying), c.retried) << static_cast<int>(c.phase) << " " << c.retrying;
    }
}

TEST(LinkPhase, EachStepOfConnectingWaitsForItsAnswer) {
    const std::pair<P, const char*> steps[] = {
        {P::DdnsQuery, "DDNS"},      {P::Referral, "DDNS"},           {P::Greeting, "connect"},
        {P::ConnectAnswer, "connect"}, {P::ReferredGreeting, "connect"}, {P::LoginAnswer, "login"},
        {P::DataAnswer, "data-send"}, {P::Held, nullptr},            {P::Refused, nullptr},
        {P::Streaming, nullptr},      {P::RetryWait, nullptr},        {P::Idle, nullptr},
    };
    for (const auto& [phase, answer] : steps) {
        const char* awaited = awaitedAnswer(phase);
        EXPECT_EQ(awaited == nullptr ? std::string("none") : std::string(awaited),
                  answer == nullptr ? std::string("none") : std::string(answer))
            << static_cast<int>(phase);
    }
}
