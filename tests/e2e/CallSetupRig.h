#pragma once

#include "tests/e2e/PeerProcess.h"

#include <QProcess>
#include <QString>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vocalyn::test {

// How long the steps of one call took, in milliseconds: Alice calls Bob, Bob answers, both end.
struct CallSetupTimes {
    double ringing = -1;        // Alice's press of Call -> Bob's caller-ID label painted
    double accept = -1;         // Bob's press of Call (the answer) -> "Accept" reaches Alice
    double soundAtBob = -1;     // answer -> Alice's voice first played at Bob's speaker
    double soundAtAlice = -1;   // answer -> Bob's voice first played at Alice's speaker
    double pictureAtBob = -1;   // answer -> Alice's first picture painted at Bob
    double pictureAtAlice = -1; // answer -> Bob's first picture painted at Alice
    double aliceQuiet = -1;     // Alice's press of End -> her last datagram on the wire
    double bobQuiet = -1;       // Bob's press of End -> his last datagram on the wire
    // The steps in between, from the answer, by name (see CallSetupRig.cpp).
    std::map<std::string, double> steps;
};

// Two copies of the program on test hosts PREFIX-a (Alice, 198.18.0.1) and PREFIX-b (Bob,
// 198.18.0.2), each with a steady test tone as its microphone and the scripted camera, and a
// tap on each host's cable that notes every datagram it sends. The hosts must be up.
class CallSetupRig {
public:
    // `rtpTool` is the vocalyn_rtp_tool program, the peers' program comes from VOCALYN_PEER.
    CallSetupRig(const QString& prefix, const QString& rtpTool);
    ~CallSetupRig();

    // Empty when both copies are up and both taps listen; otherwise why not.
    QString Ready();
    // One call; `ring_ms` is how long Bob lets it ring before answering. Empty with `why` set
    // when the call did not come about.
    std::optional<CallSetupTimes> Call(int ring_ms, QString& why);

    PeerProcess& alice() { return *alice_; }
    PeerProcess& bob() { return *bob_; }

private:
    struct Tap {
        QProcess process;
        QByteArray pending;
        std::vector<double> sent_ms;
    };
    void Drain(Tap& tap);
    // From `end_ms` to the last datagram the host sent after it (0: none), or -1 when the tap saw
    // nothing sent between `answer_ms` and `end_ms`.
    static double QuietAfter(const Tap& tap, double answer_ms, double end_ms);

    std::unique_ptr<PeerProcess> alice_;
    std::unique_ptr<PeerProcess> bob_;
    Tap aliceTap_;
    Tap bobTap_;
    bool typed_ = false;
};

// The median and the 95th percentile of `values` (nearest rank); 0 for none.
struct Spread {
    double median = 0;
    double p95 = 0;
};
Spread SpreadOf(std::vector<double> values);

} // namespace vocalyn::test
