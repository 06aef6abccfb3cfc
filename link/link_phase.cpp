#include "link/link_phase.h"

namespace orvix {
namespace {

// At the recorder's address, before video flows and before a refusal: the
// recorder's answers move the link on. Once video has flowed they change
// nothing (a recorder repeating its answers does not start a handshake).
bool connecting(LinkPhase phase) {
    switch (phase) {
    case LinkPhase::Greeting:
    case LinkPhase::Referral:
    case LinkPhase::ReferredGreeting:
    case LinkPhase::ConnectAnswer:
    case LinkPhase::LoginAnswer:
    case LinkPhase::DataAnswer:
    case LinkPhase::Held:
        return true;
    default:
        return false;
    }
}

}  // namespace

LinkPhase nextPhase(LinkPhase phase, LinkEvent event, bool retrying) {
    using P = LinkPhase;
    switch (event) {
    case LinkEvent::DdnsConnect:
        return P::DdnsQuery;
    case LinkEvent::RecorderConnect:
        // The address a referral named gets no second referral.
        return phase == P::ReferralAnswered ? P::ReferredGreeting : P::Greeting;
    case LinkEvent::DdnsAnswer:
        return phase == P::Referral || phase == P::ReferralAnswered ? P::ReferralAnswered : P::DdnsAnswered;
    case LinkEvent::DdnsWords:
        // The first words decide what the recorder's address is.
        if (phase == P::Greeting) return P::Referral;
        if (phase == P::ReferredGreeting) return P::DdnsLoop;
        return phase;
    case LinkEvent::RecorderWords:
        return phase == P::Greeting || phase == P::ReferredGreeting ? P::ConnectAnswer : phase;
    case LinkEvent::ConnectAnswered:
        return connecting(phase) ? P::LoginAnswer : phase;
    case LinkEvent::ConnectHeld:
        return connecting(phase) ? P::Held : phase;
    case LinkEvent::LoginAnswered:
        return connecting(phase) ? P::DataAnswer : phase;
    case LinkEvent::LoginRefused:
        if (!atRecorderAddress(phase)) return phase;
        return retrying || videoFlows(phase) || phase == P::RetryRefused ? P::RetryRefused : P::Refused;
    case LinkEvent::VideoFlowing:
        // A refusal stays for the run; video after it only means it had flowed.
        if (phase == P::Refused || phase == P::RetryRefused) return P::RetryRefused;
        return atRecorderAddress(phase) ? P::Streaming : phase;
    case LinkEvent::VideoSilent:
        return phase == P::Streaming ? P::VideoMissing : phase;
    case LinkEvent::VideoBack:
        return phase == P::VideoMissing ? P::Streaming : phase;
    case LinkEvent::Lost:
        return P::RetryWait;
    case LinkEvent::Ended:
        return P::Idle;
    case LinkEvent::RetryTime:
        return phase == P::RetryWait ? P::RetryDue : phase;
    }
    return phase;
}

bool atRecorderAddress(LinkPhase phase) {
    return connecting(phase) || phase == LinkPhase::Refused || phase == LinkPhase::RetryRefused || videoFlows(phase);
}

bool heardAsRecorder(LinkPhase phase) {
    return atRecorderAddress(phase) && phase != LinkPhase::Greeting && phase != LinkPhase::Referral &&
           phase != LinkPhase::ReferredGreeting;
}

bool videoFlows(LinkPhase phase) { return phase == LinkPhase::Streaming || phase == LinkPhase::VideoMissing; }

const char* awaitedAnswer(LinkPhase phase) {
    switch (phase) {
    case LinkPhase::DdnsQuery:
    case LinkPhase::Referral:
        return "DDNS";
    case LinkPhase::Greeting:
    case LinkPhase::ReferredGreeting:
    case LinkPhase::ConnectAnswer:
        return "connect";
    case LinkPhase::LoginAnswer:
        return "login";
    case LinkPhase::DataAnswer:
        return "data-send";
    default:
        return nullptr;
    }
}

bool endIsRetried(LinkPhase phase, bool retrying) {
    switch (phase) {
    case LinkPhase::Streaming:
    case LinkPhase::VideoMissing:
        return true;
    case LinkPhase::Idle:
    case LinkPhase::Refused:
    case LinkPhase::RetryRefused:
    case LinkPhase::RetryWait:
    case LinkPhase::RetryDue:
        return false;
    default:
        // Connecting: again only when this is an attempt of the link's own.
        return retrying;
    }
}

}  // namespace orvix
