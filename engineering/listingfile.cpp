#include "listingfile.h"

#include "cmpengine.h"

#include <QFile>
#include <QFileInfo>

namespace {

int nonEmptyLineCount(const QString &text)
{
    int count = 0;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (const QString &line : lines) {
        if (!line.trimmed().isEmpty())
            ++count;
    }
    return count;
}

}  // namespace

ListingFile::Contents ListingFile::read(const QString &path, const QString &language)
{
    const bool zh = language == QLatin1String("zh");
    const auto say = [zh](const char *english, const char *chinese) {
        return zh ? QString::fromUtf8(chinese) : QString::fromUtf8(english);
    };
    Contents contents;
    // A device node or a pipe has no end to read to, and /dev/zero never stops.
    const QFileInfo info(path);
    if (info.exists() && !info.isFile()) {
        contents.error = say("not a regular file", "不是一般檔案");
        return contents;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        contents.error = file.errorString();
        return contents;
    }
    // Read no further than the limit, so a file that grows meanwhile cannot fill the memory either.
    const QByteArray bytes = file.read(MaxBytes + 1);
    if (bytes.size() > MaxBytes) {
        contents.error = say("the file is larger than %1 KB; a register listing is far smaller",
                             "檔案大於 %1 KB，不是暫存器清單")
                             .arg(MaxBytes / 1024);
        return contents;
    }
    if (bytes.contains('\0')) {
        contents.error = say("the file holds NUL bytes; it is not a text file", "檔案含有 NUL 位元組，不是文字檔");
        return contents;
    }
    QString text = QString::fromUtf8(bytes);
    if (text.startsWith(QChar(0xFEFF)))  // a byte-order mark some editors put first
        text.remove(0, 1);
    if (nonEmptyLineCount(text) > MaxLines) {
        contents.error = say("the file has more than %1 lines; a register listing has far fewer",
                             "檔案超過 %1 行，不是暫存器清單")
                             .arg(MaxLines);
        return contents;
    }
    const ListingParse parsed = parseListing(text, language);
    if (parsed.badLine > 0) {
        contents.error = say("Line %1: %2", "第 %1 行：%2").arg(parsed.badLine).arg(parsed.reason);
        return contents;
    }
    if (parsed.tasks.isEmpty()) {
        contents.error = say("the file holds no register runs", "檔案中沒有任何暫存器資料");
        return contents;
    }
    contents.tasks = parsed.tasks;
    return contents;
}
