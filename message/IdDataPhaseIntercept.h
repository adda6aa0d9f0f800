// The filter every byte of message text passes on its way to the server
// after DATA: whatever line ends the text holds (CR LF, a lone CR, a lone
// LF) leave as CR LF, and every line that begins with "." gets one more
// in front, so no text can end the data early or put a bare CR or LF on
// the wire. It sits in front of the handler's own intercept for its
// lifetime and keeps its state across sends, so a line may be split
// anywhere between writes.
#pragma once

#include "net/IdConnectionIntercept.h"

class TIdIOHandler;

class TIdDataPhaseIntercept : public TIdConnectionIntercept {
public:
    explicit TIdDataPhaseIntercept(TIdIOHandler& handler);
    ~TIdDataPhaseIntercept() override;

    void Send(TIdBytes& buffer) override;
    // The bytes filtered so far end with a line end (or there were none).
    bool AtLineStart() const { return atLineStart_; }

    // The filter on its own: appends the wire form of text to out.
    void Filter(const uint8_t* text, size_t size, TIdBytes& out);

private:
    TIdIOHandler& handler_;
    bool atLineStart_ = true;
    bool afterCR_ = false;  // a CR went out as CR LF; an LF right after it is its own
    TIdBytes wire_;
};
