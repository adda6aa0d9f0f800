// Writes a message as the text sent after DATA onto an I/O handler: the
// header block, the empty line and the body (plain lines, whole-body
// encoding, or a MIME structure with encoded attachments). Line ends and
// dot-stuffing on the wire are the data phase filter's (TIdMessageClient).
#pragma once

#include <string>

class TIdIOHandler;
class TIdMessage;
class TIdText;
class TIdAttachment;
class TIdMessageEncoder;
class TIdTCPStream;
struct TIdBodyText;

class TIdMessageWriter {
public:
    explicit TIdMessageWriter(TIdIOHandler& io);

    // The output collects in the handler's write buffer and leaves in
    // writes of this size.
    static constexpr int kFlushThreshold = 64 * 1024;

    void WriteMessage(TIdMessage& message, bool headersOnly);
    void WriteHeaders(TIdMessage& message);
    void WriteBody(TIdMessage& message);
    void WriteBodyLines(const TIdMessage& message);
    void WriteTextSection(TIdText& part);

private:
    void WriteRaw(TIdMessage& message, bool headersOnly);
    void WriteWholeBodyEncoded(TIdMessage& message);
    void WritePlainText(TIdMessage& message, bool iso2022Jp);
    void WritePlainAttachment(TIdMessage& message, TIdAttachment& part);
    void WriteMime(TIdMessage& message);
    bool WriteMimePreamble(TIdMessage& message);
    void WriteMimeParts(TIdMessage& message, bool converted);
    void WriteMultipartStart(TIdMessage& message, const std::string& contentType, int index);
    void CloseFinishedMultiparts(TIdMessage& message, int parentPart);
    void WriteMimeAttachment(TIdAttachment& part);
    void WriteAttachmentHeaders(TIdAttachment& part);
    void WriteAttachmentContent(TIdAttachment& part);
    void EncodeContent(TIdAttachment& part, TIdMessageEncoder& encoder);
    void CopyContentLines(TIdAttachment& part);
    void Encode(const std::string& text, TIdMessageEncoder& encoder);

    void WriteText(const TIdBodyText& text);
    void WriteOwnBody(const TIdMessage& message);
    TIdBodyText PartText(TIdText& part);
    void ParameterLine(const std::string& name, const std::string& value);

    void Line(const std::string& text = std::string());
    void HeaderLine(const std::string& text);
    void Status(const char* text);

    TIdIOHandler& io_;
    std::string boundary_;
    std::string charset_;    // the label text parts are converted to
    bool eightBit_ = false;  // the server takes 8-bit text
};

// The value without its parameter called name (and that parameter's value).
std::string DropParameter(const std::string& value, const std::string& name);
