#pragma once

#include <QObject>
#include <QString>

namespace vocalyn {
class TfrmMain;
}

namespace vocalyn::test {

class PeerConsole;

// When the steps of setting up and ending a call happen in one copy of the program, as one
// console command:
//
//   timing   -> timing callpress=MS endpress=MS ringshown=MS accept=MS picture=MS
//
// callpress and endpress: the last press of the call and end buttons; ringshown: when the
// caller-ID label was last painted with a new caller's text; accept: when the last "Accept"
// reached the signalling handler; picture: when the first new picture was painted after the
// last press of the call button. Times are CLOCK_MONOTONIC milliseconds, which every network
// namespace shares; 0 means not yet.
class CallTiming : public QObject {
public:
    // Wraps the window's signalling handler: construct before the window is shown.
    explicit CallTiming(TfrmMain& window);
    void AddCommands(PeerConsole& console);

    static double Now_ms();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    TfrmMain& w_;
    double callPress_ms_ = 0;
    double endPress_ms_ = 0;
    double ringShown_ms_ = 0;
    double accept_ms_ = 0;
    double picture_ms_ = 0;
    QString paintedCallerID_;
    qint64 paintedPicture_ = 0;
};

} // namespace vocalyn::test
