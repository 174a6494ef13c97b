#pragma once

// A folder this process cannot write while the object lives, as a system-wide install is for
// its user: mode 0555, and for root, whom modes do not stop, the immutable attribute as well
// (chattr). ok() tells whether the folder really refuses writing here.

#include <QFile>
#include <QProcess>
#include <QString>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

class UnwritableFolder {
public:
    explicit UnwritableFolder(QString folder) : m_folder(std::move(folder)) {
        ::chmod(path().constData(), 0555);
        if (::geteuid() == 0) {
            m_immutable = chattr(QStringLiteral("+i"));
            if (!m_immutable)
                m_why = QStringLiteral("chattr +i failed (root ignores file modes)");
        }
        if (m_why.isEmpty() && ::faccessat(AT_FDCWD, path().constData(), W_OK, AT_EACCESS) == 0)
            m_why = QStringLiteral("the folder can still be written");
    }
    ~UnwritableFolder() {
        if (m_immutable)
            chattr(QStringLiteral("-i"));
        ::chmod(path().constData(), 0755);
    }
    UnwritableFolder(const UnwritableFolder&) = delete;
    UnwritableFolder& operator=(const UnwritableFolder&) = delete;

    bool ok() const { return m_why.isEmpty(); }
    QString why() const { return m_why; }

private:
    QByteArray path() const { return QFile::encodeName(m_folder); }
    bool chattr(const QString& flag) const {
        QProcess p;
        p.start(QStringLiteral("chattr"), {flag, m_folder});
        return p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit &&
               p.exitCode() == 0;
    }

    QString m_folder;
    bool m_immutable = false;
    QString m_why;
};
