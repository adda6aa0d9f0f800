#include "message/IdMessageWriter.h"

#include <algorithm>
#include <string_view>
#include <vector>

#include "message/IdAttachment.h"
#include "message/IdAttachmentFile.h"
#include "message/IdBodyText.h"
#include "message/IdCoderBinHex4.h"
#include "message/IdEncoderQuotedPrintable.h"
#include "message/IdIso2022Jp.h"
#include "message/IdLabelledText.h"
#include "message/IdMessage.h"
#include "message/IdMessageCoderMIME.h"
#include "message/IdMessageCoderUUE.h"
#include "message/IdMessageHeaders.h"
#include "message/IdTCPStream.h"
#include "message/IdText.h"
#include "net/IdIOHandler.h"
#include "platform/CodePage.h"

namespace {

const char kPreamble[] = "This is a multi-part message in MIME format";
const char kEncodingText[] = "Encoding text";
const char kEncodingAttachment[] = "Encoding attachment";
constexpr int64_t kCopyChunk = 64 * 1024;

// A file name as a quoted-string parameter: quotes and backslashes escaped,
// line breaks (which would start a new header line) replaced by blanks.
std::string QuotedParameter(const std::string& value) {
    std::string out = "\"";
    for (char c : value) {
        if (c == '\r' || c == '\n') {
            out += ' ';
            continue;
        }
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

bool IsAttributeChar(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           std::string_view("!#$&+-.^_`|~").find(static_cast<char>(c)) != std::string_view::npos;
}

// Characters of an extended parameter to a line, so that lines stay
// within 78 columns.
constexpr size_t kParameterSegment = 48;

// A parameter whose value is not ASCII, as RFC 2231 extended parameters in
// UTF-8, continued over several lines ("name*0*=", "name*1*=") when long;
// every line but the last ends with ";". A segment never ends inside a
// character, since readers may decode segments one by one.
TStringList ParameterLines(const std::string& name, const std::string& ansiValue) {
    if (!HasEightBitBytes(ansiValue)) return {name + "=" + QuotedParameter(ansiValue)};
    const char kHex[] = "0123456789ABCDEF";
    std::vector<std::string> segments = {"UTF-8''"};
    std::string character;
    const std::string utf8 = AnsiToUtf8(UnfoldHeaderText(ansiValue));
    for (size_t i = 0; i < utf8.size(); ++i) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if (IsAttributeChar(c))
            character += static_cast<char>(c);
        else
            character += {'%', kHex[c >> 4], kHex[c & 15]};
        const bool continues = i + 1 < utf8.size() && (static_cast<unsigned char>(utf8[i + 1]) & 0xC0) == 0x80;
        if (continues) continue;
        if (segments.back().size() + character.size() > kParameterSegment) segments.emplace_back();
        segments.back() += character;
        character.clear();
    }
    TStringList lines;
    for (size_t i = 0; i < segments.size(); ++i) {
        const std::string key = segments.size() == 1 ? name + "*" : name + "*" + std::to_string(i) + "*";
        lines.Add(key + "=" + segments[i] + (i + 1 < segments.size() ? ";" : ""));
    }
    return lines;
}

// Runs the body of a work section between BeginWork and EndWork.
template <class F>
void WithWork(TIdIOHandler& io, F&& body) {
    io.BeginWork(WorkWrite);
    try {
        body();
    } catch (...) {
        io.EndWork(WorkWrite);
        throw;
    }
    io.EndWork(WorkWrite);
}

}  // namespace

std::string DropParameter(const std::string& value, const std::string& name) {
    const size_t at = LowerCase(value).find(LowerCase(name));
    if (name.empty() || at == std::string::npos) return value;
    std::string result = value.substr(0, at);
    const size_t semicolon = value.find(';', at + name.size());
    if (semicolon != std::string::npos) {
        if (semicolon + 2 <= value.size()) result += value.substr(semicolon + 2);
        return result;
    }
    result = Trim(result);
    if (!result.empty() && result.back() == ';') result.pop_back();
    return result;
}

TIdMessageWriter::TIdMessageWriter(TIdIOHandler& io) : io_(io) {}

void TIdMessageWriter::Line(const std::string& text) { io_.WriteLn(text); }

// Part header lines carry values set through the message API: a line break
// in one must not start a line of its own.
void TIdMessageWriter::HeaderLine(const std::string& text) { Line(UnfoldHeaderText(text)); }

void TIdMessageWriter::Status(const char* text) { io_.DoStatus(StatusText, {text}); }

void TIdMessageWriter::WriteMessage(TIdMessage& message, bool headersOnly) {
    io_.OpenWriteBuffer(kFlushThreshold);
    try {
        if (message.NoEncode()) {
            WriteRaw(message, headersOnly);
        } else {
            WriteHeaders(message);
            if (!headersOnly) WriteBody(message);
        }
    } catch (...) {
        // What was written so far still goes out, as it would unbuffered.
        try {
            io_.CloseWriteBuffer();
        } catch (...) {
        }
        throw;
    }
    io_.CloseWriteBuffer();
}

void TIdMessageWriter::WriteRaw(TIdMessage& message, bool headersOnly) {
    WithWork(io_, [&] {
        io_.WriteLines(message.RawHeaders());
        io_.WriteLn();
        if (!headersOnly) WriteBodyLines(message);
    });
}

void TIdMessageWriter::WriteHeaders(TIdMessage& message) {
    BuildHeaders(message);
    io_.WriteLines(message.LastGeneratedHeaders());
}

void TIdMessageWriter::WriteBodyLines(const TIdMessage& message) {
    if (!message.Body().Empty()) io_.WriteLines(message.Body());
}

void TIdMessageWriter::WriteBody(TIdMessage& message) {
    const TIdHeaderCharset choice = ChooseHeaderCharset(message);
    const bool iso2022Jp = choice.Transfer == ttIso2022Jp;
    charset_ = choice.CharSet;
    eightBit_ = message.EightBitMime();
    const std::string& transfer = message.ContentTransferEncoding();
    WithWork(io_, [&] {
        if (!message.IsMsgSinglePartMime() && (SameText(transfer, "base64") || SameText(transfer, "quoted-printable")))
            WriteWholeBodyEncoded(message);
        else if (message.Encoding() == mePlainText)
            WritePlainText(message, iso2022Jp);
        else
            WriteMime(message);
    });
}

void TIdMessageWriter::Encode(const std::string& text, TIdMessageEncoder& encoder) {
    TMemoryStream source(text);
    TIdTCPStream stream(io_);
    encoder.Encode(source, stream);
}

void TIdMessageWriter::WriteWholeBodyEncoded(TIdMessage& message) {
    Raise<EIdException>::IfFalse(message.MessageParts().Empty(),
                                 "Message parts cannot be used in a message which has a ContentTransferEncoding value.");
    io_.WriteLn();
    Status(kEncodingText);
    if (SameText(message.ContentTransferEncoding(), "base64")) {
        TIdMessageEncoderMIME encoder;
        Encode(message.Body().Text(), encoder);
    } else {
        TIdMessageEncoderQuotedPrintable encoder;
        Encode(message.Body().Text(), encoder);
    }
}

void TIdMessageWriter::WritePlainText(TIdMessage& message, bool iso2022Jp) {
    io_.WriteLn();
    Status(kEncodingText);
    if (const std::optional<TIdBodyText> text = MessageBodyText(message)) {
        WriteText(*text);
    } else if (iso2022Jp) {
        for (const auto& line : message.Body()) Line(ToIso2022Jp(line));
    } else {
        WriteBodyLines(message);
    }
    io_.WriteLn();
    TIdMessageParts& parts = message.MessageParts();
    for (int i = 0; i < parts.Count(); ++i) {
        TIdMessagePart* part = parts.Items(i);
        if (auto* text = dynamic_cast<TIdText*>(part)) {
            io_.WriteLn();
            io_.WriteLn("------- Start of text attachment -------");
            Status(kEncodingText);
            WriteTextSection(*text);
            io_.WriteLn("------- End of text attachment -------");
        } else if (auto* attachment = dynamic_cast<TIdAttachment*>(part)) {
            WritePlainAttachment(message, *attachment);
        }
        io_.WriteLn();
    }
}

void TIdMessageWriter::WritePlainAttachment(TIdMessage& message, TIdAttachment& part) {
    Status(kEncodingAttachment);
    if (part.ContentTransfer().empty()) {
        const std::string& family = message.AttachmentEncoding();
        part.SetContentTransfer(family == "UUE" || family == "XXE" ? family : "UUE");
    }
    TIdMessageEncoderUUE uue;
    TIdMessageEncoderXXE xxe;
    TIdMessageEncoder& encoder = SameText(part.ContentTransfer(), "XXE") ? static_cast<TIdMessageEncoder&>(xxe) : uue;
    encoder.SetFileName(part.FileName());
    EncodeContent(part, encoder);
}

void TIdMessageWriter::WriteText(const TIdBodyText& text) {
    if (text.Transfer != "quoted-printable") {
        if (!text.Lines.Empty()) io_.WriteLines(text.Lines);
        return;
    }
    // A line continued after a soft break may begin with a dot: the data
    // phase filter stuffs it as it does every other wire line.
    TStringList encoded;
    for (const auto& line : text.Lines) {
        encoded.SetText(TIdEncoderQuotedPrintable::Encode(line + "\r\n"));
        io_.WriteLines(encoded);
    }
}

void TIdMessageWriter::WriteOwnBody(const TIdMessage& message) {
    if (const std::optional<TIdBodyText> text = MessageBodyText(message))
        WriteText(*text);
    else
        WriteBodyLines(message);
}

// A part without a charset of its own is labelled (and converted) here; one
// with a charset is taken to be in it. 8-bit text goes 8bit only to a server
// that takes it, and lines too long for either go quoted-printable.
TIdBodyText TIdMessageWriter::PartText(TIdText& part) {
    if (!part.CharSet().empty()) return {part.Body(), part.CharSet(), TransferFor(part.Body(), eightBit_)};
    if (charset_.empty()) charset_ = LocaleHeaderCharset().CharSet;
    TIdBodyText text = PrepareBodyText(part.Body(), charset_, eightBit_);
    part.SetCharSet(text.CharSet);
    return text;
}

void TIdMessageWriter::WriteTextSection(TIdText& part) {
    if (part.ContentType().empty()) part.SetContentType("text/plain");
    if (part.ContentTransfer().empty()) part.SetContentTransfer("quoted-printable");
    TIdBodyText text = PartText(part);
    if (part.CharSet().empty())
        HeaderLine("Content-Type: " + part.ContentType());
    else
        HeaderLine("Content-Type: " + DropParameter(part.ContentType(), "charset") + " ; charset=\"" + part.CharSet() + "\"");
    const bool qp = SameText(part.ContentTransfer(), "quoted-printable");
    const bool base64 = SameText(part.ContentTransfer(), "base64");
    if (!qp && !base64 && text.Transfer != "7bit") part.SetContentTransfer(text.Transfer);
    HeaderLine("Content-Transfer-Encoding: " + part.ContentTransfer());
    if (!part.ContentID().empty()) HeaderLine("Content-ID: " + part.ContentID());
    io_.WriteLines(HeaderBlockLines(part.ExtraHeaders()));
    io_.WriteLn();
    if (base64) {
        TIdMessageEncoderMIME encoder;
        Encode(text.Lines.Text(), encoder);
        return;
    }
    if (qp) text.Transfer = "quoted-printable";
    WriteText(text);
}

void TIdMessageWriter::WriteMime(TIdMessage& message) {
    TIdMessageParts& parts = message.MessageParts();
    parts.RecountParts();
    boundary_.clear();
    message.MIMEBoundary().Clear();
    bool converted = false;
    if (!message.IsMsgSinglePartMime()) {
        converted = WriteMimePreamble(message);
        boundary_ = TIdMIMEBoundaryStrings::Instance().NewBoundary();
        message.MIMEBoundary().PushBoundary(boundary_, -1);
    }
    if (converted) {
        Line("--" + boundary_);
        Status(kEncodingText);
        WriteTextSection(*static_cast<TIdText*>(parts.Items(parts.Count() - 1)));
        io_.WriteLn();
    }
    WriteMimeParts(message, converted);
    if (parts.Empty()) return;
    for (int n = message.MIMEBoundary().Count(); n > 0; --n) {
        Line("--" + message.MIMEBoundary().Boundary() + "--");
        io_.WriteLn();
        message.MIMEBoundary().PopBoundary();
    }
}

// The empty line, the preamble or the body lines, and the empty line after
// them; answers whether the body was turned into a text part.
bool TIdMessageWriter::WriteMimePreamble(TIdMessage& message) {
    TIdMessageParts& parts = message.MessageParts();
    bool converted = false;
    io_.WriteLn();
    if (message.IsBodyEmpty()) {
        if (!parts.Empty()) io_.WriteLn(kPreamble);
    } else if (message.ConvertPreamble() && parts.TextPartCount() == 0) {
        if (!parts.Empty()) {
            auto* text = new TIdText(&parts, &message.Body());
            text->SetContentType("text/plain");
            text->SetContentTransfer("7bit");
            io_.WriteLn(kPreamble);
            converted = true;
        } else {
            WriteOwnBody(message);
        }
    } else {
        WriteOwnBody(message);
    }
    io_.WriteLn();
    return converted;
}

void TIdMessageWriter::WriteMimeParts(TIdMessage& message, bool converted) {
    TIdMessageParts& parts = message.MessageParts();
    const int count = parts.Count() - (converted ? 1 : 0);
    for (int i = 0; i < count; ++i) {
        TIdMessagePart* part = parts.Items(i);
        if (StartsText("multipart/", part->ContentType())) {
            WriteMultipartStart(message, part->ContentType(), i);
            continue;
        }
        if (!message.IsMsgSinglePartMime()) {
            CloseFinishedMultiparts(message, part->ParentPart());
            Line("--" + boundary_);
        }
        if (auto* text = dynamic_cast<TIdText*>(part)) {
            Status(kEncodingText);
            WriteTextSection(*text);
            io_.WriteLn();
        } else if (auto* attachment = dynamic_cast<TIdAttachment*>(part)) {
            WriteMimeAttachment(*attachment);
        }
    }
}

void TIdMessageWriter::WriteMultipartStart(TIdMessage& message, const std::string& contentType, int index) {
    Line("--" + boundary_);
    boundary_ += TIdMIMEBoundaryStrings::Instance().NextBoundaryChar();
    message.MIMEBoundary().PushBoundary(boundary_, index);
    HeaderLine("Content-Type: " + contentType + ";");
    Line("        boundary=\"" + boundary_ + "\"");
    io_.WriteLn();
}

// Ends the nested multiparts the next part is not inside. The outermost
// boundary is never closed here, so a part naming a parent that was never
// opened lands at the top level instead of looping.
void TIdMessageWriter::CloseFinishedMultiparts(TIdMessage& message, int parentPart) {
    TIdMIMEBoundary& stack = message.MIMEBoundary();
    while (stack.Count() > 1 && parentPart != stack.ParentPart()) {
        Line("--" + boundary_ + "--");
        io_.WriteLn();
        stack.PopBoundary();
        boundary_ = stack.Boundary();
    }
}

void TIdMessageWriter::WriteMimeAttachment(TIdAttachment& part) {
    Status(kEncodingAttachment);
    if (part.ContentTransfer().empty()) part.SetContentTransfer("base64");
    if (part.ContentDisposition().empty()) part.SetContentDisposition("attachment");
    if (part.ContentType().empty())
        part.SetContentType(SameText(part.ContentTransfer(), "base64") ? "application/octet-stream" : "text/plain");
    WriteAttachmentHeaders(part);
    WriteAttachmentContent(part);
    io_.WriteLn();
}

void TIdMessageWriter::ParameterLine(const std::string& name, const std::string& value) {
    for (const auto& line : ParameterLines(name, value)) HeaderLine("        " + line);
}

void TIdMessageWriter::WriteAttachmentHeaders(TIdAttachment& part) {
    const std::string name = ExtractFileName(part.FileName());
    const bool binhex = SameText(part.ContentTransfer(), "binhex40");
    if (binhex) part.SetContentType("application/mac-binhex40");
    const std::string type = binhex ? part.ContentType() : DropParameter(part.ContentType(), "charset");
    if (part.CharSet().empty())
        HeaderLine("Content-Type: " + part.ContentType() + ";");
    else
        HeaderLine("Content-Type: " + type + "; charset=\"" + part.CharSet() + "\";");
    ParameterLine("name", name);
    if (!binhex) {
        HeaderLine("Content-Transfer-Encoding: " + part.ContentTransfer());
        HeaderLine("Content-Disposition: " + part.ContentDisposition() + ";");
        ParameterLine("filename", name);
    }
    if (!part.ContentID().empty()) HeaderLine("Content-ID: " + part.ContentID());
    io_.WriteLines(HeaderBlockLines(part.ExtraHeaders()));
    io_.WriteLn();
}

void TIdMessageWriter::WriteAttachmentContent(TIdAttachment& part) {
    const std::string& transfer = part.ContentTransfer();
    if (SameText(transfer, "base64")) {
        TIdMessageEncoderMIME encoder;
        EncodeContent(part, encoder);
    } else if (SameText(transfer, "quoted-printable")) {
        TIdMessageEncoderQuotedPrintable encoder;
        EncodeContent(part, encoder);
    } else if (SameText(transfer, "binhex40")) {
        TIdEncoderBinHex4 encoder;
        encoder.SetFileName(ExtractFileName(part.FileName()));
        EncodeContent(part, encoder);
    } else {
        CopyContentLines(part);
    }
}

void TIdMessageWriter::EncodeContent(TIdAttachment& part, TIdMessageEncoder& encoder) {
    TStream& source = part.OpenContent();
    try {
        TIdTCPStream stream(io_);
        encoder.Encode(source, stream);
    } catch (...) {
        part.CloseContent();
        throw;
    }
    part.CloseContent();
}

void TIdMessageWriter::CopyContentLines(TIdAttachment& part) {
    TStream& source = part.OpenContent();
    try {
        // Line ends are the data phase filter's to make right.
        TIdTCPStream stream(io_);
        std::string chunk(static_cast<size_t>(kCopyChunk), '\0');
        int64_t n;
        while ((n = source.Read(chunk.data(), kCopyChunk)) > 0) stream.Write(chunk.data(), n);
    } catch (...) {
        part.CloseContent();
        throw;
    }
    part.CloseContent();
}
