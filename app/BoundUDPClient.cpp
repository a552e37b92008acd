#include "app/BoundUDPClient.h"

namespace vocalyn {

net::TIdSocketHandle& BoundUDPClient::SendingBinding() {
    if (LocalIP.isEmpty())
        return TIdUDPClient::SendingBinding();
    if (!bound_.HandleAllocated()) {
        bound_.IP = LocalIP;
        bound_.Port = 0; // any free port, as an unbound sender gets
        bound_.AllocateSocket();
        try {
            bound_.Bind();
            bound_.SetBroadcastFlag(BroadcastEnabled);
        } catch (...) {
            bound_.CloseSocket(); // the next send tries again from scratch
            throw;
        }
    }
    return bound_;
}

} // namespace vocalyn
