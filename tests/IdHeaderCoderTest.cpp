#include "message/IdHeaderCoder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

#include "message/IdEMailAddress.h"
#include "message/IdMessageHeaders.h"
#include "platform/CodePage.h"
#include "tests/support/PythonRunner.h"

namespace {

// Decodes each "header original codec" line with Python's
// email.header.decode_header and prints "ok" when the text matches the
// original decoded with its code page. Empty texts are not sent.
const char* kDecodeScript = R"PY(
import sys
from email.header import decode_header
for line in sys.stdin:
    enc, orig, codec = line.split()
    header = bytes.fromhex(enc).decode('ascii')
    text = ''
    for part, charset in decode_header(header):
        text += part if isinstance(part, str) else part.decode(charset or 'ascii')
    want = bytes.fromhex(orig).decode(codec)
    # Blanks at the ends of a field value carry no meaning in a header.
    print('ok' if text.strip() == want.strip() else 'bad %r != %r' % (text, want))
)PY";

struct TReferenceCheck {
    std::string header, original, codec;
};

void ExpectPythonDecodes(const std::vector<TReferenceCheck>& checks) {
    std::string input;
    for (const auto& c : checks) input += ToHex(c.header) + " " + ToHex(c.original) + " " + c.codec + "\n";
    const TPythonResult r = RunPython(kDecodeScript, input);
    ASSERT_EQ(r.exitCode, 0) << r.out;
    std::istringstream lines(r.out);
    std::string line;
    for (const auto& c : checks) {
        ASSERT_TRUE(std::getline(lines, line));
        EXPECT_EQ(line, "ok") << c.header;
    }
}

std::string Repeat(const std::string& s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += s;
    return out;
}

std::vector<std::string> EncodedWords(const std::string& header) {
    std::vector<std::string> words;
    size_t at = 0;
    while ((at = header.find("=?", at)) != std::string::npos) {
        const size_t end = header.find("?=", header.find('?', header.find('?', at + 2) + 1) + 1);
        words.push_back(header.substr(at, end + 2 - at));
        at = end + 2;
    }
    return words;
}

class IdHeaderCoder : public ::testing::Test {
protected:
    void SetUp() override { setenv("LC_ALL", "it_IT.UTF-8", 1); }
    void TearDown() override { setenv("LC_ALL", "it_IT.UTF-8", 1); }
};

TEST_F(IdHeaderCoder, QuotedWordsOnlyWhereNeeded) {
    struct Case {
        std::string text, header;
    } cases[] = {
        {"plain words only", "plain words only"},
        {"Prova \xE8 fine", "Prova =?ISO-8859-1?Q?=E8?= fine"},
        {"Prova \xE8 cos\xEC fine", "Prova =?ISO-8859-1?Q?=E8_cos=EC?= fine"},
        {"  lead \xE8", "  lead =?ISO-8859-1?Q?=E8?="},
        {"a=b?c_d \xE8=?_", "a=b?c_d =?ISO-8859-1?Q?=E8=3D=3F=5F?="},
        {"tab\there \xE8\tx", "tab\there =?ISO-8859-1?Q?=E8?=\tx"},
        {"", ""},
    };
    std::vector<TReferenceCheck> checks;
    for (const auto& c : cases) {
        const std::string header = EncodeHeaderText(c.text, "", 'Q', ttEightBit, "ISO-8859-1");
        EXPECT_EQ(header, c.header) << c.text;
        if (!c.text.empty()) checks.push_back({header, c.text, "latin-1"});
    }
    ExpectPythonDecodes(checks);
}

TEST_F(IdHeaderCoder, LongSubjectsSplitInto75CharacterWords) {
    const std::string accented(100, '\xE8');
    std::string mixed;
    for (int i = 0; i < 40; ++i) mixed += "perch\xE9 ";
    std::vector<TReferenceCheck> checks;
    for (char letter : {'Q', 'B'}) {
        for (const std::string& text : {accented, mixed, std::string("word ") + accented + " end"}) {
            const std::string header = EncodeHeaderText(text, "", letter, ttEightBit, "ISO-8859-1");
            const auto words = EncodedWords(header);
            ASSERT_GT(words.size(), 1u) << header;
            for (const auto& w : words) EXPECT_LE(w.size(), 75u) << w;
            EXPECT_NE(header.find("?=\r\n =?ISO-8859-1?"), std::string::npos);
            checks.push_back({header, text, "latin-1"});
        }
    }
    // 19 "=E8" tokens fill a Q word to 74 characters; one more would pass 75.
    EXPECT_EQ(EncodedWords(EncodeHeaderText(accented, "", 'Q', ttEightBit, "ISO-8859-1"))[0].size(), 74u);
    ExpectPythonDecodes(checks);
}

TEST_F(IdHeaderCoder, TextThatLooksEncodedIsEncoded) {
    const std::string literal = "see =?ISO-8859-1?Q?abc?= here";
    const std::string header = EncodeHeaderText(literal, "", 'Q', ttEightBit, "ISO-8859-1");
    EXPECT_EQ(header, "see =?ISO-8859-1?Q?=3D=3FISO-8859-1=3FQ=3Fabc=3F=3D?= here");
    // Also in a charset the decoder here does not know: readers know it.
    const std::string utf8Literal = "=?UTF-8?B?Y2lhbw==?=";
    const std::string utf8Header = EncodeHeaderText(utf8Literal, "", 'Q', ttEightBit, "ISO-8859-1");
    EXPECT_NE(utf8Header, utf8Literal);
    EXPECT_EQ(DecodeHeaderText("a =?iso-8859-1?q?=E8?= =?ISO-8859-1?B?6A==?= b"), "a \xE8\xE8 b");
    EXPECT_EQ(DecodeHeaderText(std::string("a\0b", 3)), "ab");
    EXPECT_EQ(EncodeHeaderText("8bit \xE8", "", '8', ttEightBit, "ISO-8859-1"), "8bit \xE8");
    // A display name is read the same way, even inside quotes.
    TIdEMailAddressItem named;
    named.SetName(utf8Literal);
    named.SetAddress("a@example.it");
    const std::string address = EncodeHeaderAddress(named, 'Q', ttEightBit, "ISO-8859-1");
    ExpectPythonDecodes({{header, literal, "latin-1"},
                         {utf8Header, utf8Literal, "latin-1"},
                         {address.substr(0, address.find(" <")), utf8Literal, "latin-1"}});
}

TEST_F(IdHeaderCoder, Addresses) {
    struct Case {
        std::string name, address, header;
    } cases[] = {
        {"", "a@example.it", "a@example.it"},
        {"Mario Rossi", "m@example.it", "\"Mario Rossi\" <m@example.it>"},
        {"Rossi, \"Mario\" \\", "m@example.it", "\"Rossi, \\\"Mario\\\" \\\\\" <m@example.it>"},
        {"Caff\xE8, Bar", "c@example.it", "=?ISO-8859-1?Q?Caff=E8=2C?= Bar <c@example.it>"},
        {"Caff\xE8 S.p.A.", "c@example.it", "=?ISO-8859-1?Q?Caff=E8_S=2Ep=2EA=2E?= <c@example.it>"},
    };
    std::vector<TReferenceCheck> checks;
    TIdEMailAddressList list;
    for (const auto& c : cases) {
        TIdEMailAddressItem* item = list.Add();
        item->SetName(c.name);
        item->SetAddress(c.address);
        EXPECT_EQ(EncodeHeaderAddress(*item, 'Q', ttEightBit, "ISO-8859-1"), c.header);
        if (c.name.find('\xE8') != std::string::npos)
            checks.push_back({c.header.substr(0, c.header.find(" <")), c.name, "latin-1"});
    }
    EXPECT_EQ(EncodeHeaderAddresses(list, 'Q', ttEightBit, "ISO-8859-1"),
              cases[0].header + ", " + cases[1].header + ", " + cases[2].header + ", " + cases[3].header + ", " +
                  cases[4].header);
    TIdEMailAddressList empty;
    EXPECT_EQ(EncodeHeaderAddresses(empty, 'Q', ttEightBit, "ISO-8859-1"), "");

    TIdEMailAddressItem bare;
    bare.SetAddress("b@example.it");
    EXPECT_EQ(EncodeHeaderAddress(bare, 'Q', ttEightBit, "ISO-8859-1", true), "\"b@example.it\" <b@example.it>");
    EXPECT_EQ(bare.Name(), "b@example.it");
    ExpectPythonDecodes(checks);
}

TEST_F(IdHeaderCoder, JapaneseAndCyrillicCharsets) {
    setenv("LC_ALL", "ja_JP.UTF-8", 1);
    const std::string sjis = "\x93\xfa\x96\x7b\x8c\xea test \x8c\x8f\x96\xbc";  // 日本語 test 件名
    const std::string jp = EncodeHeaderText(sjis, "", 'B', ttIso2022Jp, "ISO-2022-JP");
    EXPECT_EQ(jp.rfind("=?ISO-2022-JP?B?", 0), 0u) << jp;
    setenv("LC_ALL", "ru_RU.UTF-8", 1);
    // Windows Cyrillic text goes out as KOI8-R bytes under that label.
    const std::string cp1251 = "\xcf\xf0\xe8\xe2\xe5\xf2 \xec\xe8\xf0";  // Привет мир
    const std::string ru = EncodeHeaderText(cp1251, "", 'B', ttEightBit, "KOI8-R");
    ExpectPythonDecodes({{jp, sjis, "cp932"}, {ru, cp1251, "cp1251"}});
}

// Every encoded word alone must decode strictly in its charset, and an
// ISO-2022-JP word must end back in ASCII: readers decode word by word.
const char* kWordByWordScript = R"PY(
import base64, binascii, re, sys
for line in sys.stdin:
    word = bytes.fromhex(line.strip()).decode('ascii')
    m = re.fullmatch(r'=\?([^?]+)\?([BQ])\?([^?]*)\?=', word)
    if not m:
        print('bad form', word)
        continue
    charset, letter, payload = m.groups()
    if letter == 'B':
        raw = base64.b64decode(payload, validate=True)
    else:
        raw = binascii.a2b_qp(payload.replace('_', ' '), header=True)
    try:
        raw.decode(charset, 'strict')
        ok = True
    except UnicodeDecodeError:
        ok = False
    if charset.upper() == 'ISO-2022-JP':
        ok = ok and (b'\x1b$' not in raw or raw.rfind(b'\x1b$') < raw.rfind(b'\x1b('))
    print('ok' if ok else 'bad ' + word)
)PY";

TEST_F(IdHeaderCoder, EncodedWordsEndOnCharacterBoundaries) {
    const std::string japanese = "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\xE3\x81\xAE\xE4\xBB\xB6\xE5\x90\x8D";
    const struct {
        const char* locale;
        std::string text;  // UTF-8
        char letter;
        const char* charset;  // the label that must appear
    } cases[] = {
        {"ja_JP.UTF-8", Repeat(japanese, 12), 'B', "ISO-2022-JP"},
        {"ja_JP.SJIS", Repeat("a" + japanese, 12), 'B', "ISO-2022-JP"},
        {"ja_JP.EUC-JP", Repeat("\xE2\x91\xA0" + japanese, 10), 'B', "UTF-8"},
        {"ja_JP.UTF-8", Repeat("\xE2\x91\xA0" + japanese, 10), 'Q', "UTF-8"},
        {"zh_CN.UTF-8", Repeat("\xE4\xB8\xAD\xE6\x96\x87", 40), 'B', "GB2312"},
        {"zh_CN.UTF-8", Repeat("\xE4\xB8\xAD\xE9\x95\x95", 40), 'Q', "GBK"},
        {"zh_TW.UTF-8", Repeat("\xE4\xB8\xAD\xE6\x96\x87", 40), 'B', "Big5"},
        {"ko_KR.UTF-8", Repeat("\xEC\x95\x88\xEB\x85\x95", 40), 'B', "EUC-KR"},
        {"ko_KR.UTF-8", Repeat("\xEB\x98\xA0", 40), 'Q', "UTF-8"},
    };
    std::string input;
    size_t count = 0;
    for (const auto& c : cases) {
        setenv("LC_ALL", c.locale, 1);
        const std::string header =
            EncodeHeaderText(Utf8ToAnsi(c.text), "", c.letter, ttEightBit, LocaleHeaderCharset().CharSet);
        const auto words = EncodedWords(header);
        ASSERT_GT(words.size(), 3u) << header;
        for (const auto& w : words) {
            EXPECT_LE(w.size(), 75u) << w;
            EXPECT_EQ(w.rfind("=?" + std::string(c.charset) + "?", 0), 0u) << w;
            input += ToHex(w) + "\n";
            ++count;
        }
    }
    const TPythonResult r = RunPython(kWordByWordScript, input);
    ASSERT_EQ(r.exitCode, 0) << r.out;
    std::istringstream lines(r.out);
    std::string line;
    size_t checked = 0;
    for (; std::getline(lines, line); ++checked) EXPECT_EQ(line, "ok");
    EXPECT_EQ(checked, count);
}

TEST_F(IdHeaderCoder, LineBreaksBecomeBlanksAndNulIsDropped) {
    const struct {
        std::string text, header;
    } cases[] = {
        {"Ciao\r\nX-Injected: 1", "Ciao X-Injected: 1"},
        {"Ciao\rX\nY\r\n\r\nZ", "Ciao X Y  Z"},
        {std::string("Ci\0ao", 5), "Ciao"},
        {"Perch\xE9\r\nno", "=?ISO-8859-1?Q?Perch=E9?= no"},
    };
    for (const auto& c : cases) EXPECT_EQ(EncodeHeaderText(c.text, "", 'Q', ttEightBit, "ISO-8859-1"), c.header);
}

// Text that no folding can bring under 998 octets a line is encoded.
TEST_F(IdHeaderCoder, WordsTooLongToFoldAreEncoded) {
    const std::string word(3000, 'a');
    const std::string header = EncodeHeaderText("x " + word, "", 'Q', ttEightBit, "ISO-8859-1");
    EXPECT_EQ(header.rfind("x =?ISO-8859-1?Q?aaa", 0), 0u);
    for (const auto& w : EncodedWords(header)) EXPECT_LE(w.size(), 75u);
    EXPECT_EQ(EncodeHeaderText(std::string(900, 'a'), "", 'Q', ttEightBit, "ISO-8859-1"), std::string(900, 'a'));
    TIdEMailAddressItem item;
    item.SetAddress("a@example.it");
    item.SetName(word);
    EXPECT_EQ(EncodeHeaderAddress(item, 'Q', ttEightBit, "ISO-8859-1").rfind("=?ISO-8859-1?Q?aaa", 0), 0u);
}

TEST_F(IdHeaderCoder, HostileTextEndsSafely) {
    const std::string inputs[] = {std::string(1 << 20, '\xE8'), std::string(1 << 20, ' '),
                                  std::string(1 << 20, '='), std::string("=?") + std::string(1 << 20, '?'),
                                  std::string(1 << 18, 'x') + "=?ISO-8859-1?Q?", std::string("\0\0", 2)};
    std::string manyPrefixes;
    for (int i = 0; i < 100000; ++i) manyPrefixes += "=?ISO?Q?a";
    for (const auto& text : {inputs[0], inputs[1], inputs[2], inputs[3], inputs[4], inputs[5], manyPrefixes}) {
        for (char letter : {'Q', 'B'}) (void)EncodeHeaderText(text, kAddressSpecials, letter, ttEightBit, "ISO-8859-1");
        (void)DecodeHeaderText(text);
    }
}

}  // namespace
