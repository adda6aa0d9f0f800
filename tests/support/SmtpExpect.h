// Small helpers for SMTP tests: what an action raised, as one comparable text.
#pragma once

#include "smtp/IdReplySMTP.h"

#include <functional>
#include <string>

// The message of the exception of kind E that action raises; "no
// exception" or "wrong exception: ..." otherwise.
template <class E>
std::string MessageOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const E& e) {
        return e.what();
    } catch (const std::exception& e) {
        return std::string("wrong exception: ") + e.what();
    }
    return "no exception";
}

// An EIdSMTPReplyError raised by action as "code|enhanced code|message".
inline std::string ReplyErrorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const EIdSMTPReplyError& e) {
        return std::to_string(e.ErrorCode()) + "|" + e.EnhancedCode().ReplyAsStr() + "|" + e.Message();
    } catch (const std::exception& e) {
        return std::string("wrong exception: ") + e.what();
    }
    return "no exception";
}
