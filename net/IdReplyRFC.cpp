#include "net/IdReplyRFC.h"

bool TIdReplyRFC::IsValidCode(const std::string& code) const {
    if (Trim(code).empty()) return true;
    int32_t value = 0;
    if (!ParseInt32(code, value)) value = 0;
    return value >= 100 && value <= 999;
}

std::string TIdReplyRFC::LineText(const std::string& line) { return line.size() > 4 ? line.substr(4) : std::string(); }

std::string TIdReplyRFC::FormatPrefix(int index) const {
    return std::to_string(CodeNumber()) + (index < Text().Count() - 1 ? "-" : " ");
}

const TStringList& TIdReplyRFC::FormatLines() {
    TStringList& lines = FormattedReply();
    if (CodeNumber() < 1) {
        lines.Assign(Text());
    } else if (Text().Empty()) {
        lines.Add(std::to_string(CodeNumber()));
    } else {
        for (int i = 0; i < Text().Count(); ++i) lines.Add(FormatPrefix(i) + Text()[i]);
    }
    return lines;
}

void TIdReplyRFC::SetFromLines(const TStringList& lines) {
    Clear();
    if (lines.Empty()) return;
    SetCode(Trim(lines[0].substr(0, 3)));
    for (const std::string& line : lines) Text().Add(LineText(line));
}

bool TIdReplyRFC::IsLastLine(const std::string& line) const { return line.size() < 4 || line[3] == ' '; }

void TIdReplyRFC::RaiseError() const { throw EIdReplyRFCError(CodeNumber(), Text().Text()); }

bool TIdReplyRFC::HasContent() const { return CodeNumber() >= 1 || !Text().Empty(); }
