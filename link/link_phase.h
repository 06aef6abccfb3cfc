// Where one run of the link stands, from the user's connect to its final
// end, as far as its watches need to know: which peer it is talking to (the
// DDNS server, a recorder address not heard from yet, one that turned out to
// be a DDNS server), which answer it waits for while connecting, whether
// video flows and was missed, whether a login was refused, whether a new
// attempt waits. The link thread keeps the phase and
// moves it only through nextPhase(); the thread state (LinkShared) says what
// the loop does next, the phase what an event means.
#pragma once

namespace orvix {

enum class LinkPhase {
    Idle,              // no run: before the user's connect, after a final end
    DdnsQuery,         // asking the DDNS server where the recorder is
    DdnsAnswered,      // it answered; the recorder is connected next
    Greeting,          // at the recorder's address, nothing heard yet
    Referral,          // the recorder's address spoke as a DDNS server: followed once
    ReferralAnswered,  // it answered; the address it named is connected next
    ReferredGreeting,  // at the address a referral named, nothing heard yet
    DdnsLoop,          // that address spoke as a DDNS server too: the run ends
    ConnectAnswer,     // the recorder spoke, but its description has not come yet
    LoginAnswer,       // the login went out
    DataAnswer,        // the data request went out
    Held,              // the description was not one to log in with: the link waits
    Refused,           // the recorder refused the login before video flowed in this run
    RetryRefused,      // it refused the login after video had flowed: not retried
    Streaming,         // video flows (the recorder confirmed the data request)
    VideoMissing,      // video flows, but the shown channel's stopped: told
    RetryWait,         // the connection was lost; the next attempt waits for its time
    RetryDue,          // its time has come: the link connects again
};

enum class LinkEvent {
    DdnsConnect,      // a connect to the DDNS server starts
    RecorderConnect,  // a connect to the recorder's address starts
    DdnsAnswer,       // a COMMAND_DDNS_INFO naming a usable address
    DdnsWords,        // COMMAND_DDNS_READY or COMMAND_DDNS_INFO from the recorder's address
    RecorderWords,    // any other command from the recorder's address
    ConnectAnswered,  // COMMAND_CONNECT_OK with a description: the login went out
    ConnectHeld,      // COMMAND_CONNECT_OK without one to log in with
    LoginAnswered,    // COMMAND_LOGIN_OK: the data request went out
    LoginRefused,     // COMMAND_LOGIN_FAIL
    VideoFlowing,     // COMMAND_DATA_SEND_OK from the recorder
    VideoSilent,      // no video of a shown channel for the silence time
    VideoBack,        // video of a shown channel came
    Lost,             // the connection ended and a new attempt is planned
    Ended,            // the run ended for good
    RetryTime,        // the planned attempt is due
};

// The phase after `event` in `phase`. `retrying` is true while the run
// connects again by itself (an attempt of its own, before video flows).
// Events that mean nothing in a phase leave it as it is.
LinkPhase nextPhase(LinkPhase phase, LinkEvent event, bool retrying);

// The recorder's address is the peer: its stream is parsed as a recorder's.
bool atRecorderAddress(LinkPhase phase);
// The peer there has spoken as a recorder (its first words were no DDNS
// command): it has no say in where the link connects.
bool heardAsRecorder(LinkPhase phase);
// Video flows: the stall and video-silence watches run (at status 9).
bool videoFlows(LinkPhase phase);
// The answer the link waits for in `phase` while connecting, as the cause
// of an end names it ("DDNS", "connect", "login", "data-send"); null when
// it waits for none (the watches of a flowing stream take over at status 9).
const char* awaitedAnswer(LinkPhase phase);
// An end in `phase` is followed by a new attempt (when reconnect is on and
// attempts are left): once video has flowed in the run, unless the login
// was refused.
bool endIsRetried(LinkPhase phase, bool retrying);

}  // namespace orvix
