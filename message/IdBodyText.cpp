#include "message/IdBodyText.h"

#include "message/IdLabelledText.h"

std::string TransferFor(const TStringList& lines, bool eightBit) {
    bool eight = false;
    for (const auto& line : lines) {
        if (line.size() > kMaxLineOctets) return "quoted-printable";
        eight = eight || HasEightBitBytes(line);
    }
    if (!eight) return "7bit";
    return eightBit ? "8bit" : "quoted-printable";
}

TIdBodyText PrepareBodyText(const TStringList& ansiLines, const std::string& preferred, bool eightBit) {
    TIdBodyText result;
    const std::string text = ansiLines.Text();
    if (IsPlainAscii(text)) {
        result.Lines = ansiLines;
    } else {
        const TIdLabelledText labelled = LabelText(text, preferred);
        result.Lines.SetText(labelled.Bytes);
        result.CharSet = labelled.CharSet;
    }
    result.Transfer = TransferFor(result.Lines, eightBit);
    if (result.CharSet.empty() && result.Transfer != "7bit") result.CharSet = "us-ascii";
    return result;
}
