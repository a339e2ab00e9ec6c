// Arbitrary text as a number or a word list on the command line.
//
// An accepted number is in range, was written in one of the two forms the
// tool documents (decimal, or 0x and hexadecimal digits), and reads back the
// same from its decimal form. An accepted word list has one 16-bit word per
// comma-separated part, no more than allowed, and reads back the same from the
// words written out again. A refusal always says why.
//
// Input: mode byte, then for mode 0 two 8-byte bounds, then the text.

#include "fuzzcheck.h"
#include "numberparse.h"

#include <QRegularExpression>
#include <QStringList>

#include <cstring>

namespace {

bool isDocumentedForm(const QString &text)
{
    static const QRegularExpression form(QStringLiteral("^([+-]?[0-9]+|0[xX][0-9A-Fa-f]+)$"));
    return form.match(text.trimmed()).hasMatch();
}

qint64 bound(const uint8_t *bytes)
{
    qint64 value = 0;
    std::memcpy(&value, bytes, sizeof value);
    return value;
}

void checkNumber(const QString &text, qint64 minimum, qint64 maximum)
{
    const ParsedNumber n = parseNumber(text, minimum, maximum);
    if (!n.ok) {
        FUZZ_CHECK(!n.error.isEmpty(), "a refused number says why");
        return;
    }
    FUZZ_CHECK(n.error.isEmpty(), "an accepted number carries no error");
    FUZZ_CHECK(n.value >= minimum && n.value <= maximum, "an accepted number is in range");
    FUZZ_CHECK(isDocumentedForm(text), "only decimal or 0x hexadecimal is accepted");
    const ParsedNumber again = parseNumber(QString::number(n.value), minimum, maximum);
    FUZZ_CHECK(again.ok && again.value == n.value, "the value's decimal form reads back the same");
}

void checkWordList(const QString &text, int maxCount)
{
    const ParsedWords w = parseWordList(text, maxCount);
    if (!w.ok) {
        FUZZ_CHECK(!w.error.isEmpty(), "a refused list says why");
        FUZZ_CHECK(w.words.isEmpty(), "a refused list gives no words");
        return;
    }
    const QStringList parts = text.split(QLatin1Char(','));
    FUZZ_CHECK(w.words.size() == parts.size(), "one word per comma-separated part");
    FUZZ_CHECK(w.words.size() >= 1 && w.words.size() <= maxCount, "the list's length is allowed");
    QStringList written;
    for (int i = 0; i < parts.size(); ++i) {
        const ParsedNumber n = parseNumber(parts[i], 0, 0xFFFF);
        FUZZ_CHECK(n.ok && n.value == w.words[i], "each word is its part read as a 16-bit number");
        written << (i % 2 ? QStringLiteral("0x%1").arg(w.words[i], 0, 16) : QString::number(w.words[i]));
    }
    const ParsedWords again = parseWordList(written.join(QLatin1Char(',')), maxCount);
    FUZZ_CHECK(again.ok && again.words == w.words, "the words written out read back the same");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const int mode = data[0] % 5;
    const uint8_t *rest = data + 1;
    size_t restSize = size - 1;
    auto textOf = [](const uint8_t *bytes, size_t n) {
        return QString::fromUtf8(reinterpret_cast<const char *>(bytes), int(n));
    };

    switch (mode) {
    case 0: {
        if (restSize < 16)
            return 0;
        checkNumber(textOf(rest + 16, restSize - 16), bound(rest), bound(rest + 8));
        break;
    }
    // The ranges the command line asks for: station, address or value, poll count.
    case 1:
        checkNumber(textOf(rest, restSize), 1, 247);
        break;
    case 2:
        checkNumber(textOf(rest, restSize), 0, 0xFFFF);
        break;
    case 3:
        checkNumber(textOf(rest, restSize), 1, 1000000);
        break;
    default: {
        if (restSize < 1)
            return 0;
        checkWordList(textOf(rest + 1, restSize - 1), 1 + rest[0] % 130);
        break;
    }
    }
    return 0;
}
