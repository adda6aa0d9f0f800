// Exceptions of the network transport, with the texts users read in the log.
#pragma once

#include <cstdint>
#include <string>

#include "core/IdException.h"

// A socket call failed; carries the Windows Sockets error number.
class EIdSocketError : public EIdException {
public:
    EIdSocketError(int32_t lastError, const std::string& message) : EIdException(message), lastError_(lastError) {}
    explicit EIdSocketError(const std::string& message) : EIdException(message) {}
    int32_t LastError() const { return lastError_; }

private:
    int32_t lastError_ = 0;
};
class EIdNotASocket : public EIdSocketError {
public:
    using EIdSocketError::EIdSocketError;
};

class EIdStackError : public EIdException {
public:
    using EIdException::EIdException;
};
class EIdIPVersionUnsupported : public EIdStackError {
public:
    using EIdStackError::EIdStackError;
};
class EIdStackSetSizeExceeded : public EIdStackError {
public:
    using EIdStackError::EIdStackError;
};
class EIdStackInitializationFailed : public EIdStackError {
public:
    using EIdStackError::EIdStackError;
};
class EIdIPv6Unavailable : public EIdException {
public:
    using EIdException::EIdException;
};

class EIdSocketHandleError : public EIdException {
public:
    using EIdException::EIdException;
};
class EIdCouldNotBindSocket : public EIdSocketHandleError {
public:
    using EIdSocketHandleError::EIdSocketHandleError;
};
class EIdInvalidPortRange : public EIdSocketHandleError {
public:
    using EIdSocketHandleError::EIdSocketHandleError;
};
class EIdCanNotBindPortInRange : public EIdSocketHandleError {
public:
    using EIdSocketHandleError::EIdSocketHandleError;
};
class EIdCannotSetIPVersionWhenConnected : public EIdSocketHandleError {
public:
    using EIdSocketHandleError::EIdSocketHandleError;
};

// Byte buffer.
class EIdNotEnoughDataInBuffer : public EIdException {
public:
    using EIdException::EIdException;
};
class EIdTooMuchDataInBuffer : public EIdException {
public:
    using EIdException::EIdException;
};

// I/O handler and connection.
class EIdConnClosedGracefully : public EIdSilentException {
public:
    using EIdSilentException::EIdSilentException;
};
class EIdReadTimeout : public EIdException {
public:
    using EIdException::EIdException;
};
class EIdReadLnMaxLineLengthExceeded : public EIdException {
public:
    using EIdException::EIdException;
};
class EIdMaxCaptureLineExceeded : public EIdException {
public:
    using EIdException::EIdException;
};
class EIdTCPConnectionError : public EIdException {
public:
    using EIdException::EIdException;
};
class EIdObjectTypeNotSupported : public EIdTCPConnectionError {
public:
    using EIdTCPConnectionError::EIdTCPConnectionError;
};
class EIdNoDataToRead : public EIdTCPConnectionError {
public:
    using EIdTCPConnectionError::EIdTCPConnectionError;
};
class EIdFileNotFound : public EIdTCPConnectionError {
public:
    using EIdTCPConnectionError::EIdTCPConnectionError;
};
class EIdNotConnected : public EIdException {
public:
    using EIdException::EIdException;
};
class EIdClosedSocket : public EIdException {
public:
    using EIdException::EIdException;
};
class EIdAlreadyConnected : public EIdException {
public:
    using EIdException::EIdException;
};
class EIdConnectTimeout : public EIdException {
public:
    using EIdException::EIdException;
};
class EIdConnectException : public EIdException {
public:
    using EIdException::EIdException;
};

// The fixed texts.
inline constexpr const char* RSConnectionClosedGracefully = "Connection Closed Gracefully.";
inline constexpr const char* RSReadTimeout = "Read Timeout";
inline constexpr const char* RSNotConnectedNoDot = "Not Connected";
inline constexpr const char* RSNotConnected = "Not connected.";
inline constexpr const char* RSStatusDisconnectedText = "Disconnected.";
