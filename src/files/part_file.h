// A file that arrives in pieces (a movie being downloaded): written to NAME.part beside its
// target and renamed to NAME only once it is whole and on the disk, so that what stands under
// the final name is never a part of a file. What has arrived stays in the .part when the
// download stops, so that it can go on from there.
#pragma once

#include <QByteArrayView>
#include <QString>

namespace vidrake {

class PartFile final {
public:
    explicit PartFile(QString target) : m_target(std::move(target)) {}
    ~PartFile() { close(); }
    PartFile(const PartFile&) = delete;
    PartFile& operator=(const PartFile&) = delete;

    static QString partPath(const QString& target) { return target + QStringLiteral(".part"); }
    const QString& target() const { return m_target; }
    QString partPath() const { return partPath(m_target); }

    // Opens the .part, made if missing, with what it holds kept or emptied. Refuses a target or
    // a .part that is no regular file (a folder, a device, a FIFO), which a rename would replace.
    // Returns an empty text, or why not.
    QString open(bool keep);
    bool isOpen() const { return m_fd >= 0; }
    qint64 size() const { return m_size; }  // bytes in the .part
    // Adds bytes at its end. Past the file-size limit or on a full disk it fails with the
    // system's words and keeps what did fit.
    QString append(QByteArrayView bytes);
    QString empty();  // back to nothing, to start over
    // On the disk, then renamed to the target (replacing a file there) and closed.
    QString finish();
    // Closed, kept; a .part that holds nothing is removed.
    void close();

private:
    QString m_target;
    int m_fd = -1;
    qint64 m_size = 0;
};

}  // namespace vidrake
