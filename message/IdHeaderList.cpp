#include "message/IdHeaderList.h"

#include "platform/Locale.h"

namespace {

bool IsFoldBlank(char c) { return c == ' ' || c == '\t'; }
bool IsBreakChar(char c) { return c == ' ' || c == '\t'; }

bool StartsContinuation(const std::string& line) { return !line.empty() && IsFoldBlank(line[0]); }

std::string TrimControlsRight(const std::string& s) { return TrimRight(s); }

// A CR LF followed by a blank or tab is a fold and stays; any other line
// break would start a header of its own and becomes a blank. NUL is dropped.
std::string KeepFoldsOnly(const std::string& value) {
    std::string out;
    out.reserve(value.size());
    for (size_t i = 0; i < value.size(); ++i) {
        const char c = value[i];
        if (c == '\0') continue;
        const bool fold = c == '\r' && i + 2 < value.size() && value[i + 1] == '\n' && IsFoldBlank(value[i + 2]);
        if (fold) {
            out += "\r\n";
            ++i;
        } else {
            if (c == '\r' && i + 1 < value.size() && value[i + 1] == '\n') ++i;
            out += c == '\r' || c == '\n' ? ' ' : c;
        }
    }
    return out;
}

}  // namespace

std::string TIdHeaderList::LineName(const std::string& line) {
    const size_t colon = line.find(':');
    return colon == std::string::npos ? std::string() : line.substr(0, colon);
}

int TIdHeaderList::IndexOfName(const std::string& name) const {
    for (int i = 0; i < Count(); ++i)
        if (SameText(LineName((*this)[i]), name)) return i;
    return -1;
}

std::string TIdHeaderList::Values(const std::string& name) const {
    const int index = IndexOfName(name);
    if (index < 0) return {};
    const std::string& line = (*this)[index];
    std::string value = line.substr(line.find(':') + 1);
    for (int i = index + 1; unfoldLines_ && i < Count() && StartsContinuation((*this)[i]); ++i)
        value = Trim(value) + " " + Trim((*this)[i]);
    return Trim(value);
}

void TIdHeaderList::DeleteContinuationLines(int index) {
    while (index + 1 < Count() && StartsContinuation((*this)[index + 1])) Delete(index + 1);
}

void TIdHeaderList::SetValues(const std::string& name, const std::string& value) {
    int index = IndexOfName(name);
    if (value.empty()) {
        if (index < 0) return;
        DeleteContinuationLines(index);
        Delete(index);
        return;
    }
    if (index < 0) index = Add("");
    DeleteContinuationLines(index);
    const std::string line = name + separator_ + KeepFoldsOnly(value);
    const std::string folded = foldLines_ ? WrapHeaderLine(line, foldWidth_) : line;
    int at = index;
    size_t start = 0;
    while (true) {
        const size_t crlf = folded.find("\r\n", start);
        const std::string piece = TrimControlsRight(folded.substr(start, crlf == std::string::npos ? crlf : crlf - start));
        // An empty continuation line would end the header block.
        if (piece.empty() && at != index) {
            if (crlf == std::string::npos) break;
            start = crlf + 2;
            continue;
        }
        if (at == index)
            SetStrings(at, piece);
        else if (at == Count())
            Add(piece);
        else
            Insert(at, piece);
        ++at;
        if (crlf == std::string::npos) break;
        start = crlf + 2;
    }
}

namespace {

// The folding walk, kept as a small state machine over 0-based positions.
class THeaderWrapper {
public:
    THeaderWrapper(const std::string& line, int width, const std::string& breakText)
        : s_(line), width_(width), breakText_(breakText) {}

    std::string Run() {
        const size_t length = s_.size();
        while (pos_ < length) {
            const char c = s_[pos_];
            Look(c);
            ++pos_;
            ++column_;
            if (!quoteOpen_ && (existingBreak_ || (column_ > width_ && breakAt_ != kNone && breakAt_ > lineStart_)))
                Break(c);
        }
        if (lineStart_ < length) result_ += s_.substr(lineStart_);
        return result_;
    }

private:
    static constexpr size_t kNone = static_cast<size_t>(-1);

    void Look(char c) {
        if (IsAnsiLeadByte(static_cast<unsigned char>(c))) {
            ++pos_;
            ++column_;
        } else if (c == '\r' && !quoteOpen_) {
            existingBreak_ = SameText(s_.substr(pos_, breakText_.size()), breakText_);
            if (existingBreak_) {
                pos_ += breakText_.size() - 1;
                breakAt_ = pos_;
            }
        } else if (IsBreakChar(c) && !quoteOpen_) {
            // A fold goes before the first blank of a run, so that the break
            // text stands for exactly that blank and the others stay: the
            // text unfolds to what it was. (A comma is no fold point: in
            // free text the blank a fold adds after it would be new.)
            if (pos_ == 0 || !IsBreakChar(s_[pos_ - 1])) breakAt_ = pos_;
        } else if (c == '"') {
            quoteOpen_ = !quoteOpen_;
        }
    }

    void Break(char c) {
        const size_t length = s_.size();
        column_ = static_cast<int>(pos_ - breakAt_);
        result_ += s_.substr(lineStart_, breakAt_ + 1 - lineStart_);
        if (c != '"') {
            size_t skip = pos_;
            // What is skipped still stands on the next line and counts there.
            while (skip < length && (IsBreakChar(s_[skip]) || s_[skip] == '\r' || s_[skip] == '\n')) {
                ++skip;
                ++column_;
            }
            pos_ = skip;
        }
        // A break with at most one character left moves nothing.
        if (!existingBreak_ && pos_ + 1 < length) result_ += breakText_;
        lineStart_ = breakAt_ + 1;
        breakAt_ = lineStart_;
        existingBreak_ = false;
    }

    const std::string& s_;
    int width_;
    const std::string& breakText_;
    int column_ = 1;
    size_t pos_ = 0;
    size_t lineStart_ = 0;
    size_t breakAt_ = kNone;
    bool quoteOpen_ = false;
    bool existingBreak_ = false;
    std::string result_;
};

}  // namespace

std::string WrapHeaderLine(const std::string& line, int width, const std::string& breakText) {
    return THeaderWrapper(line, width, breakText).Run();
}

std::string UnfoldHeaderText(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\0') continue;
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        out += c == '\r' || c == '\n' ? ' ' : c;
    }
    return out;
}

TStringList HeaderBlockLines(const TStringList& lines) {
    TStringList out;
    for (const auto& line : lines) {
        const std::string safe = UnfoldHeaderText(line);
        if (!TrimRight(safe).empty()) out.Add(safe);
    }
    return out;
}
