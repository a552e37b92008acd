// Classifies arbitrary bytes as a signalling datagram and checks the result against the rules
// restated independently, byte by byte, without QByteArray's search helpers.

#include "call/SignalMessage.h"
#include "fuzz/FuzzCheck.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

using vocalyn::call::CallRequestPayload;
using vocalyn::call::ClassifySignal;
using vocalyn::call::SignalKind;
using vocalyn::call::SignalMessage;

namespace {

bool Equals(const uint8_t* data, size_t size, const char* word) {
    return size == std::strlen(word) && std::memcmp(data, word, size) == 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray payload(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const SignalMessage message = ClassifySignal(payload);

    const bool hasBar = std::memchr(data, '|', size) != nullptr;
    if (hasBar) {
        CHECK(message.kind == SignalKind::CallRequest);
        const size_t idLength = size > 8 ? size - 8 : 0;
        CHECK(static_cast<size_t>(message.text.size()) == idLength);
        CHECK(idLength == 0 || std::memcmp(message.text.constData(), data + 8, idLength) == 0);
        // A well-formed request carries its caller ID through unchanged.
        if (size >= 8 && std::memcmp(data, "Calling|", 8) == 0)
            CHECK(ClassifySignal(CallRequestPayload(message.text)).text == message.text);
    } else if (Equals(data, size, "Calling")) {
        CHECK(message.kind == SignalKind::CallRequest && message.text.isEmpty());
    } else if (Equals(data, size, "Accept")) {
        CHECK(message.kind == SignalKind::Accept && message.text.isEmpty());
    } else if (Equals(data, size, "Cancel")) {
        CHECK(message.kind == SignalKind::Cancel && message.text.isEmpty());
    } else {
        CHECK(message.kind == SignalKind::Unanswered);
        CHECK(message.text == payload);
    }
    return 0;
}
