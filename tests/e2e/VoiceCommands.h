#pragma once

namespace vocalyn::test {

class PeerConsole;
class TappedMediaTerm;

// Console commands that report what a copy with a real media terminal sends, hears and takes.
// Each answers with its name and key=value pairs; times are CLOCK_MONOTONIC milliseconds.
//
//   heard MS       the sound played over the last MS milliseconds
//                  -> heard freq=HZ rms=LEVEL played=MS loudend=MS now=MS
//   quiet FROM TO  the longest stretch without loud sound between two times -> quiet ms=MS
//   voice          RTP packets sent and let in, when sending last started and stopped, the
//                  process's resident memory -> voice sent=N accepted=N started=MS stopped=MS
//                  rss=KB now=MS
//   setup          when the voice link's pipelines were last built, when receiving and sending
//                  last started, when the first RTP packet of the call left and was let in
//                  -> setup init=MS receiving=MS sending=MS firstsent=MS firstaccepted=MS
//   clicks         click onsets at the microphone and at the speaker
//                  -> clicks spoken=MS,MS,... heard=MS,MS,...
//   latency        the pipelines' own latency per element and the measured delay of buffers
//                  at each stage -> latency NAME=MS ...
void AddVoiceCommands(PeerConsole& console, const TappedMediaTerm& terminal);

} // namespace vocalyn::test
