// Command-line numbers and word lists: an accepted number is in range, decimal or 0x hex, and
// reads back; a list has one 16-bit word a part; a refusal says why.
// Input: mode (station, word, count or list), the list's length limit, then the text.

#include "fuzzcheck.h"
#include "numberparse.h"

#include <QRegularExpression>
#include <QStringList>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data) + 2, int(size) - 2);
    static const QRegularExpression documented(QStringLiteral("^([+-]?[0-9]+|0[xX][0-9A-Fa-f]+)$"));
    if (data[0] % 4 == 3) {
        const int maxCount = 1 + data[1] % 130;
        const ParsedWords w = parseWordList(text, maxCount);
        FUZZ_CHECK(w.ok != !w.error.isEmpty(), "a refused list says why, an accepted one does not");
        if (!w.ok)
            return 0;
        const QStringList parts = text.split(QLatin1Char(','));
        FUZZ_CHECK(w.words.size() == parts.size() && w.words.size() <= maxCount, "one word per part, within the limit");
        for (int i = 0; i < parts.size(); ++i) {
            const ParsedNumber n = parseNumber(parts[i], 0, 0xFFFF);
            FUZZ_CHECK(n.ok && n.value == w.words[i], "each word is its part as a 16-bit number");
        }
        return 0;
    }
    const qint64 ranges[3][2] = {{1, 247}, {0, 0xFFFF}, {1, 1000000}};
    const qint64 minimum = ranges[data[0] % 4][0], maximum = ranges[data[0] % 4][1];
    const ParsedNumber n = parseNumber(text, minimum, maximum);
    FUZZ_CHECK(n.ok != !n.error.isEmpty(), "a refused number says why, an accepted one does not");
    if (n.ok) {
        FUZZ_CHECK(n.value >= minimum && n.value <= maximum, "an accepted number is in range");
        FUZZ_CHECK(documented.match(text.trimmed()).hasMatch(), "only decimal or 0x hexadecimal is accepted");
        const ParsedNumber again = parseNumber(QString::number(n.value), minimum, maximum);
        FUZZ_CHECK(again.ok && again.value == n.value, "the decimal form reads back the same");
    }
    return 0;
}
