#pragma once

#include "net/TIdSocketHandle.h"
#include "net/TIdUDPClient.h"

namespace vocalyn {

// A sending endpoint whose datagrams can leave from a chosen local address. With LocalIP empty
// it is a plain TIdUDPClient, as in a real run; tests give several windows in one process their
// own loopback addresses, so that each one's peer sees it under its own address.
class BoundUDPClient : public net::TIdUDPClient {
public:
    using net::TIdUDPClient::TIdUDPClient;

    QString LocalIP; // dotted; takes effect at the first send

protected:
    net::TIdSocketHandle& SendingBinding() override;

private:
    net::TIdSocketHandle bound_;
};

} // namespace vocalyn
