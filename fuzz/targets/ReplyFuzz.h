// Reply parsing: lines straight into SetFromLines, and the same bytes as a
// server's output read by ReceiveReply over an in-memory transport.
#pragma once

#include "fuzz/FuzzSupport.h"
#include "smtp/IdReplySMTP.h"
#include "smtp/IdSMTP.h"

inline void FuzzReplyFromLines(const std::string& text) {
    TStringList lines;
    lines.SetText(text);
    TIdReplySMTP reply;
    try {
        reply.SetFromLines(lines);
    } catch (const Exception&) {
        return;
    }
    TIdReplySMTP copy;
    copy.SetText(reply.FormatLines());
    copy.Assign(reply);
    (void)copy.DisplayName();
    (void)copy.EnhancedCode().ReplyAsStr();
    try {
        reply.RaiseError();
    } catch (const EIdSMTPReplyError&) {
    }
}

inline void FuzzReplyOverTransport(uint32_t seed, const std::string& text) {
    TIdSMTP smtp;
    auto* handler = new TFuzzIOHandler(FuzzChunks(seed, text));
    smtp.SetIOHandler(handler);
    smtp.SetOwnsIOHandler(true);
    for (int replies = 0; replies < 64; ++replies) {
        try {
            smtp.ReceiveReply();
            (void)smtp.LastCmdResult().DisplayName();
        } catch (const EIdConnClosedGracefully&) {
            break;
        } catch (const Exception&) {
            // A refused reply leaves the connection readable for the next.
        }
    }
}

inline int FuzzReply(const uint8_t* data, size_t size) {
    TFuzzInput input(data, size);
    const uint32_t seed = input.Byte();
    const std::string text = input.Rest();
    FuzzReplyFromLines(text);
    FuzzReplyOverTransport(seed, text);
    return 0;
}
