// Exceptions of the TLS layer, with the texts users read in the log.
#pragma once

#include "core/IdException.h"

class EIdOpenSSLError : public EIdException {
public:
    using EIdException::EIdException;
};
class EIdOpenSSLLoadError : public EIdOpenSSLError {
public:
    using EIdOpenSSLError::EIdOpenSSLError;
};

#define ID_SSL_EXCEPTION(name, base) \
    class name : public base {       \
    public:                          \
        using base::base;            \
    };
ID_SSL_EXCEPTION(EIdOSSLCouldNotLoadSSLLibrary, EIdOpenSSLLoadError)
ID_SSL_EXCEPTION(EIdOSSLLoadingRootCertError, EIdOpenSSLLoadError)
ID_SSL_EXCEPTION(EIdOSSLLoadingCertError, EIdOpenSSLLoadError)
ID_SSL_EXCEPTION(EIdOSSLLoadingKeyError, EIdOpenSSLLoadError)
ID_SSL_EXCEPTION(EIdOSSLCreatingContextError, EIdOpenSSLError)
ID_SSL_EXCEPTION(EIdOSSLSettingCipherError, EIdOpenSSLError)
ID_SSL_EXCEPTION(EIdOSSLGetMethodError, EIdOpenSSLError)
ID_SSL_EXCEPTION(EIdOSSLModeNotSet, EIdOpenSSLError)
ID_SSL_EXCEPTION(EIdOSSLDataBindingError, EIdOpenSSLError)
ID_SSL_EXCEPTION(EIdOSSLConnectError, EIdOpenSSLError)
ID_SSL_EXCEPTION(EIdOSSLAcceptError, EIdOpenSSLError)
#undef ID_SSL_EXCEPTION

inline constexpr const char* RSOSSLCouldNotLoadSSLLibrary = "Could not load SSL library.";
inline constexpr const char* RSOSSLCreatingContextError = "Error creating SSL context.";
inline constexpr const char* RSOSSLLoadingRootCertError = "Could not load root certificate.";
inline constexpr const char* RSOSSLLoadingCertError = "Could not load certificate.";
inline constexpr const char* RSOSSLLoadingKeyError = "Could not load key, check password.";
inline constexpr const char* RSOSSLSettingCipherError = "SetCipher failed.";
inline constexpr const char* RSOSSLGetMethodError = "Error geting SSL method.";
inline constexpr const char* RSOSSLModeNotSet = "Mode has not been set.";
inline constexpr const char* RSOSSLDataBindingError = "Error binding data to SSL socket.";
inline constexpr const char* RSOSSLConnectError = "Error connecting with SSL.";
inline constexpr const char* RSOSSLAcceptError = "Error accepting connection with SSL.";
