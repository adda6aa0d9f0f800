// Simple MAPI records, flags and result codes, with the field order and
// types of the published interface (ULONG is 32 bits, handles pointer-sized).
// Shared by the provider library (platform/mapi32) and the sender (mapi/).
#pragma once

#include <cstdint>

struct MapiRecipDesc {
    uint32_t ulReserved;
    uint32_t ulRecipClass;
    char* lpszName;
    char* lpszAddress;
    uint32_t ulEIDSize;
    void* lpEntryID;
};

struct MapiFileDesc {
    uint32_t ulReserved;
    uint32_t flFlags;
    uint32_t nPosition;
    char* lpszPathName;
    char* lpszFileName;
    void* lpFileType;
};

struct MapiMessage {
    uint32_t ulReserved;
    char* lpszSubject;
    char* lpszNoteText;
    char* lpszMessageType;
    char* lpszDateReceived;
    char* lpszConversationID;
    uint32_t flFlags;
    MapiRecipDesc* lpOriginator;
    uint32_t nRecipCount;
    MapiRecipDesc* lpRecips;
    uint32_t nFileCount;
    MapiFileDesc* lpFiles;
};

// session, UI parameter, message, flags, reserved -> result code
using TMAPISendMail = uint32_t (*)(uintptr_t, uintptr_t, MapiMessage*, uint32_t, uint32_t);

constexpr uint32_t MAPI_ORIG = 0;
constexpr uint32_t MAPI_TO = 1;
constexpr uint32_t MAPI_CC = 2;
constexpr uint32_t MAPI_BCC = 3;

constexpr uint32_t MAPI_LOGON_UI = 0x01;
constexpr uint32_t MAPI_NEW_SESSION = 0x02;
constexpr uint32_t MAPI_DIALOG = 0x08;

constexpr uint32_t SUCCESS_SUCCESS = 0;
constexpr uint32_t MAPI_USER_ABORT = 1;
constexpr uint32_t MAPI_E_FAILURE = 2;
constexpr uint32_t MAPI_E_ATTACHMENT_NOT_FOUND = 11;
constexpr uint32_t MAPI_E_ATTACHMENT_OPEN_FAILURE = 12;
constexpr uint32_t MAPI_E_BAD_RECIPTYPE = 15;
constexpr uint32_t MAPI_E_INVALID_MESSAGE = 17;
constexpr uint32_t MAPI_E_INVALID_RECIPS = 25;
constexpr uint32_t MAPI_E_NOT_SUPPORTED = 26;
