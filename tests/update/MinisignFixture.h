#pragma once

// The real minisign tool making key pairs and signatures for the update tests, and the release
// helper (tools/zarq-release) signing a whole update folder, as a vendor does.

#include "UpdateHostFixture.h"

#include <QFileInfo>
#include <QProcess>

namespace updatetest {

// A minisign key pair without a password, made in `dir`.
struct MinisignKey {
    QString secretFile;
    QByteArray publicLine; // the base64 line the program is given
    QString id;            // as minisign prints it
};

inline MinisignKey makeKey(const QString& dir) {
    MinisignKey key;
    QProcess minisign;
    minisign.start("minisign", {"-G", "-W", "-p", dir + "key.pub", "-s", dir + "key.sec"});
    if (!minisign.waitForFinished(30000) || minisign.exitCode() != 0)
        return key;
    const QList<QByteArray> lines = readFile(dir + "key.pub").trimmed().split('\n');
    key.secretFile = dir + "key.sec";
    key.publicLine = lines.last().trimmed();
    key.id = QString::fromLatin1(lines.first().mid(lines.first().lastIndexOf(' ') + 1).trimmed());
    return key;
}

// Signs `file` into `file`.minisig with the trusted comment minisign writes by default, dated
// `timestamp`; `legacy` makes the older signature over the file itself.
inline bool sign(const MinisignKey& key, const QString& file, qint64 timestamp,
                 bool legacy = false) {
    QStringList args{
        "-S",
        "-s",
        key.secretFile,
        "-m",
        file,
        "-t",
        QStringLiteral("timestamp:%1\tfile:%2").arg(timestamp).arg(QFileInfo(file).fileName())};
    if (legacy)
        args << "-l";
    QProcess minisign;
    minisign.start("minisign", args);
    return minisign.waitForFinished(30000) && minisign.exitStatus() == QProcess::NormalExit &&
           minisign.exitCode() == 0;
}

// tools/zarq-release over `folder`: fills in the hashes of the files it lists and signs its
// update1.txt with `key`. False when the helper failed.
inline bool release(const MinisignKey& key, const QString& folder) {
    QProcess helper;
    helper.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    helper.start(
        QStringLiteral(ZARQ_PYTHON),
        {QStringLiteral(ZARQ_SOURCE_DIR "/tools/zarq-release"), folder, "--key", key.secretFile});
    helper.closeWriteChannel();
    return helper.waitForFinished(60000) && helper.exitStatus() == QProcess::NormalExit &&
           helper.exitCode() == 0;
}

} // namespace updatetest
