#include "call/SignalMessage.h"

#include <gtest/gtest.h>

using namespace vocalyn::call;

TEST(SignalMessage, ClassifiesEveryPayloadAsTheRulesSay) {
    struct Row {
        QByteArray payload;
        SignalKind kind;
        QByteArray text;
    };
    const Row rows[] = {
        {"Calling|Alice", SignalKind::CallRequest, "Alice"},
        {"Calling|", SignalKind::CallRequest, ""},
        {"Calling", SignalKind::CallRequest, ""},
        // Only the bar counts: the first eight bytes are dropped whatever they are.
        {"Away | back at three", SignalKind::CallRequest, "ack at three"},
        {"|", SignalKind::CallRequest, ""},
        {"Hello|Bob", SignalKind::CallRequest, "b"},
        {"Calling|Zo\xc3\xab", SignalKind::CallRequest, "Zo\xc3\xab"},
        {"Accept", SignalKind::Accept, ""},
        {"Cancel", SignalKind::Cancel, ""},
        // Whole and case-sensitive, or else a message to show.
        {"calling", SignalKind::Unanswered, "calling"},
        {"accept", SignalKind::Unanswered, "accept"},
        {"Accept\n", SignalKind::Unanswered, "Accept\n"},
        {"Cancelled", SignalKind::Unanswered, "Cancelled"},
        {"Calling ", SignalKind::Unanswered, "Calling "},
        {"Unanswered", SignalKind::Unanswered, "Unanswered"},
        {QByteArray("Accept\0", 7), SignalKind::Unanswered, QByteArray("Accept\0", 7)},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.payload.toStdString());
        const SignalMessage message = ClassifySignal(row.payload);
        EXPECT_EQ(message.kind, row.kind);
        EXPECT_EQ(message.text, row.text);
    }
}

TEST(SignalMessage, CallRequestCarriesTheCallerIdUnchanged) {
    EXPECT_EQ(CallRequestPayload("Alice"), "Calling|Alice");
    EXPECT_EQ(CallRequestPayload(""), "Calling|");
    for (const QByteArray& id : {QByteArray("Alice"), QByteArray("a|b"), QByteArray("")})
        EXPECT_EQ(ClassifySignal(CallRequestPayload(id)).text, id);
}
