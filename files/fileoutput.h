#pragma once

#include <QByteArray>
#include <QMetaType>
#include <QString>

class QFileDevice;

// Why writing a file failed, for the operator: the system's own reason ("No
// space left on device") or a refused target. Texts are Chinese when the
// language code is exactly "zh", English otherwise.
class FileError
{
public:
    FileError() = default;
    // The text the system gave (QFileDevice::errorString()).
    static FileError system(const QString &systemText);
    // The system's text for an errno code.
    static FileError ofCode(int code);
    // An existing target that is a folder, or a device, FIFO or socket.
    static FileError notRegularFile(bool folder);
    // A file being streamed that no longer holds what was written to it.
    static FileError changedElsewhere();

    bool failed() const { return m_kind != Kind::None; }
    // The system's reason in the language asked for: its Chinese where this
    // program knows one, otherwise the system's text as it is.
    QString reason(const QString &lang) const;

private:
    enum class Kind { None, System, Folder, Special, Changed };
    Kind m_kind = Kind::None;
    QString m_systemText;
};
Q_DECLARE_METATYPE(FileError)

// Every file the program writes goes through here, so each is whole or not
// written at all and a failure always names its reason.
namespace FileOutput {

// Text: line ends as the platform writes text files.
enum class Mode { Binary, Text };

// Refuses a target that exists and is not a regular file: replacing a device
// node or a FIFO by an ordinary file would destroy it (as root, /dev/null), and
// opening a FIFO would wait for a reader that never comes.
FileError checkTarget(const QString &path);

// Replaces the file at path by bytes through a QSaveFile: every write and the
// commit are checked, and on any failure the previous file stays as it was.
// Success only once the commit has put the new file in place.
FileError writeWhole(const QString &path, const QByteArray &bytes, Mode mode = Mode::Binary);

// Writes all of bytes to an open, unbuffered file. A short write (a disk that
// fills up) is followed by another, so the one that fails gives the reason.
FileError writeAll(QFileDevice &file, const QByteArray &bytes);

}  // namespace FileOutput
