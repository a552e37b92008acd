#pragma once

#include "app/BackgroundLookup.h"
#include "call/CallSession.h"

namespace vocalyn {

class TfrmMain;
struct Platform;

// The call's actions on the main window and its parts: the signalling and video senders, the
// voice link, the ring-tone player, the calling dialog, the caller-ID and status lines.
class CallWindowActions final : public call::CallActions {
public:
    CallWindowActions(TfrmMain& window, Platform& platform);

    void Send(quint32 address, const QByteArray& payload) override;
    void LookUp(const QString& host, std::function<void(const call::LookupResult&)> done) override;
    void PrepareVoice() override;
    void StartVoice(quint32 address) override;
    void StopVoice() override;
    void ToggleMute() override;
    void StartVideo(quint32 address) override;
    void StopVideo() override;
    QString PlayTone() override;
    void StopTone() override;
    void CloseTone() override;
    void Alert(quint32 caller, const QString& callerID, bool tonePlaying) override;
    void WithdrawAlert() override;
    void ShowCallerLine(const QString& text) override;
    void ShowCalling() override;
    void ShowRefusal(const QString& text) override;
    void CloseCallingDialog() override;
    void ShowStatus(const QString& text) override;
    void ReportError(const QString& text, bool focusHost) override;
    void Changed() override;

private:
    TfrmMain& w_;
    Platform& platform_;
    BackgroundLookup lookups_;
};

} // namespace vocalyn
