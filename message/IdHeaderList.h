// Header lines of a message or a part: one physical line per string, with
// folded fields spread over continuation lines that start with a blank.
#pragma once

#include <string>

#include "core/StringList.h"

class TIdHeaderList : public TStringList {
public:
    TIdHeaderList() = default;

    const std::string& Separator() const { return separator_; }
    void SetSeparator(const std::string& value) { separator_ = value; }
    int FoldWidth() const { return foldWidth_; }
    void SetFoldWidth(int value) { foldWidth_ = value; }
    bool UnfoldLines() const { return unfoldLines_; }
    void SetUnfoldLines(bool value) { unfoldLines_ = value; }
    bool FoldLines() const { return foldLines_; }
    void SetFoldLines(bool value) { foldLines_ = value; }

    // Text before the first colon of a line ("" without a colon).
    static std::string LineName(const std::string& line);

    // Index of the first line whose name matches, ignoring case; -1 if none.
    int IndexOfName(const std::string& name) const;
    // The unfolded, trimmed value of the first matching field; "" if none.
    std::string Values(const std::string& name) const;
    // Replaces the field in place (folded), appends it when new, removes
    // it when the value is empty.
    void SetValues(const std::string& name, const std::string& value);

private:
    void DeleteContinuationLines(int index);

    std::string separator_ = ": ";
    int foldWidth_ = 78;
    bool unfoldLines_ = true;
    bool foldLines_ = true;
};

// Folds a header line at blanks and tabs outside double quotes so that lines
// stay within width columns (at most width - 1 characters); an existing
// CR LF + blank is kept. Unfolding gives the line back unchanged.
std::string WrapHeaderLine(const std::string& line, int width = 78, const std::string& breakText = "\r\n ");

// One header line's worth of text: every line break (CR LF, CR or LF)
// becomes one blank and NUL characters are dropped, so that typed text can
// never start a header of its own.
std::string UnfoldHeaderText(const std::string& text);
// Raw header lines made safe for a header block: each unfolded, and empty
// lines (which would end the block) left out.
TStringList HeaderBlockLines(const TStringList& lines);
