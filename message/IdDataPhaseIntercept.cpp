#include "message/IdDataPhaseIntercept.h"

#include "net/IdIOHandler.h"

TIdDataPhaseIntercept::TIdDataPhaseIntercept(TIdIOHandler& handler) : handler_(handler) {
    SetIntercept(handler_.Intercept());
    handler_.SetIntercept(this);
}

TIdDataPhaseIntercept::~TIdDataPhaseIntercept() {
    // The chained intercept is cleared here if it went away meanwhile.
    handler_.SetIntercept(Intercept());
    SetIntercept(nullptr);
}

void TIdDataPhaseIntercept::Filter(const uint8_t* text, size_t size, TIdBytes& out) {
    out.reserve(out.size() + size + size / 64 + 2);
    for (size_t i = 0; i < size; ++i) {
        const uint8_t c = text[i];
        const bool lfOfCRLF = afterCR_ && c == '\n';
        afterCR_ = c == '\r';
        if (lfOfCRLF) continue;
        if (c == '\r' || c == '\n') {
            out.push_back('\r');
            out.push_back('\n');
            atLineStart_ = true;
            continue;
        }
        if (atLineStart_ && c == '.') out.push_back('.');
        out.push_back(c);
        atLineStart_ = false;
    }
}

void TIdDataPhaseIntercept::Send(TIdBytes& buffer) {
    TIdBytes wire;
    Filter(buffer.data(), buffer.size(), wire);
    buffer.swap(wire);
    TIdConnectionIntercept::Send(buffer);
}
