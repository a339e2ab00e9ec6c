#include "fileoutput.h"

#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <utility>

namespace {

QString pick(const QString &lang, const char *zh, const char *en)
{
    return QString::fromUtf8(lang == QLatin1String("zh") ? zh : en);
}

// The reasons an operator meets when saving, in Chinese; others stay as the system says them.
const std::pair<int, const char *> ChineseReasons[] = {
    {ENOSPC, "裝置上已無剩餘空間"},
    {EFBIG, "檔案過大"},
    {ENOENT, "沒有此檔案或資料夾"},
    {EACCES, "權限不足"},
    {EPERM, "不允許此操作"},
    {EROFS, "唯讀的檔案系統"},
    {EIO, "輸入/輸出錯誤"},
    {ENOTDIR, "路徑中有項目不是資料夾"},
    {EISDIR, "這是一個資料夾"},
    {ENAMETOOLONG, "檔名過長"},
    {EMFILE, "開啟的檔案過多"},
};

}  // namespace

FileError FileError::system(const QString &systemText)
{
    FileError error;
    error.m_kind = Kind::System;
    error.m_systemText = systemText;
    return error;
}

FileError FileError::ofCode(int code)
{
    return system(qt_error_string(code));
}

FileError FileError::notRegularFile(bool folder)
{
    FileError error;
    error.m_kind = folder ? Kind::Folder : Kind::Special;
    return error;
}

FileError FileError::changedElsewhere()
{
    FileError error;
    error.m_kind = Kind::Changed;
    return error;
}

QString FileError::reason(const QString &lang) const
{
    switch (m_kind) {
    case Kind::None: return QString();
    case Kind::Folder:
        return pick(lang, "這是一個資料夾，不是一般檔案；未做任何變更",
                    "it is a folder, not a regular file; nothing was changed");
    case Kind::Special:
        return pick(lang, "這是裝置、FIFO 或 socket，不是一般檔案；未做任何變更",
                    "it is a device, FIFO or socket, not a regular file; nothing was changed");
    case Kind::Changed:
        return pick(lang, "檔案已被其他程式變更或取代", "the file was changed or replaced by another program");
    case Kind::System: break;
    }
    // Qt's text is the system's for the code, so the code is found by its text.
    if (lang == QLatin1String("zh")) {
        for (const auto &known : ChineseReasons) {
            if (qt_error_string(known.first) == m_systemText)
                return QString::fromUtf8(known.second);
        }
    }
    return m_systemText;
}

namespace FileOutput {

FileError checkTarget(const QString &path)
{
    const QFileInfo target(path);  // follows a symbolic link to what it names
    if (!target.exists() || target.isFile())
        return {};
    return FileError::notRegularFile(target.isDir());
}

FileError writeWhole(const QString &path, const QByteArray &bytes, Mode mode)
{
    const FileError refused = checkTarget(path);
    if (refused.failed())
        return refused;
    QSaveFile file(path);
    // Unbuffered: a short write shows in write()'s count at once; through the
    // buffer it would be lost in commit(), which would put the cut file in place.
    QIODevice::OpenMode openMode = QIODevice::WriteOnly | QIODevice::Unbuffered;
    if (mode == Mode::Text)
        openMode |= QIODevice::Text;
    if (!file.open(openMode))
        return FileError::system(file.errorString());
    const FileError written = writeAll(file, bytes);
    if (written.failed())
        return written;  // the QSaveFile removes its temporary file, the old one is untouched
    if (!file.commit())
        return FileError::system(file.errorString());
    return {};
}

FileError writeAll(QFileDevice &file, const QByteArray &bytes)
{
    qint64 done = 0;
    while (done < bytes.size()) {
        const qint64 written = file.write(bytes.constData() + done, bytes.size() - done);
        if (written <= 0)
            return FileError::system(file.errorString());
        done += written;
    }
    return {};
}

}  // namespace FileOutput
