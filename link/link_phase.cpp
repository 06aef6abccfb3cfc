#include "link/link_phase.h"

namespace orvix {

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
        return phase == P::Greeting || phase == P::ReferredGreeting ? P::Handshake : phase;
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
    switch (phase) {
    case LinkPhase::Greeting:
    case LinkPhase::Referral:
    case LinkPhase::ReferredGreeting:
    case LinkPhase::Handshake:
    case LinkPhase::Refused:
    case LinkPhase::RetryRefused:
    case LinkPhase::Streaming:
    case LinkPhase::VideoMissing:
        return true;
    default:
        return false;
    }
}

bool videoFlows(LinkPhase phase) { return phase == LinkPhase::Streaming || phase == LinkPhase::VideoMissing; }

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
