// Who wrote the control file: its minisign signature against the trusted keys, and its age
// against the newest one accepted before for the same URL.

#include "update/AcceptedTimestamps.h"
#include "update/TAutoUpdate.h"
#include "update/UpdateLog.h"
#include "update/UpdateSignature.h"

#include "platform/CommandLine.h"

#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

namespace zarq {

namespace {

std::optional<QByteArray> readSmall(const QString& path, qint64 limit) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > limit)
        return std::nullopt;
    return file.readAll();
}

} // namespace

QString TAutoUpdate::VerifyControlFile(const QString& url, const QString& directory,
                                       const QByteArray& content) {
    if (const QString refusal = FRunTrust.refusal(); !refusal.isEmpty())
        return refusal;
    if (!FRunTrust.checksSignatures())
        return QString(); // the user allowed unsigned updates and set no key
    const QString signatureUrl = url + QStringLiteral(".minisig");
    if (!TransferLimited(signatureUrl, directory, UpdateSignature::kFileLimit))
        return QStringLiteral("the control file has no signature (%1 not fetched)")
            .arg(signatureUrl);
    const QString signaturePath = directory + FileNameFromURL(signatureUrl);
    const std::optional<QByteArray> signature =
        readSmall(signaturePath, UpdateSignature::kFileLimit);
    QFile::remove(signaturePath);
    if (!signature)
        return QStringLiteral("the signature file could not be read");
    const UpdateSignature::Result checked =
        UpdateSignature::verify(content, *signature, FRunTrust.keys);
    if (!checked.valid)
        return QStringLiteral("signature refused: ") + checked.reason;
    if (!checked.timestamp)
        return QStringLiteral("signature refused: its trusted comment has no timestamp, so its "
                              "age cannot be checked");
    AcceptedTimestamps accepted(FSettingsFile);
    const std::optional<qint64> last = accepted.last(url);
    if (last && *checked.timestamp < *last)
        return QStringLiteral("signature refused: the control file (signed at %1) is older than "
                              "the last accepted one (%2)")
            .arg(*checked.timestamp)
            .arg(*last);
    if (!last || *checked.timestamp > *last) {
        // Not fatal: the file is genuine; only a later replay of an older one would go unnoticed.
        if (const QString error = accepted.remember(url, *checked.timestamp); !error.isEmpty())
            AppendLogLine(QStringLiteral("Unable to remember the update's timestamp: ") + error);
    }
    FSignedRun = true;
    return QString();
}

void TAutoUpdate::NoteVerified(const QString& path) {
    if (FSignedRun)
        FVerifiedFiles.insert(QFileInfo(path).absoluteFilePath());
}

void TAutoUpdate::AllowVerifiedProgram(const QString& commandLine) {
    if (FVerifiedFiles.isEmpty())
        return;
    QStringList candidates{commandLine};
    if (const QStringList words = CommandLine::split(commandLine); !words.isEmpty())
        candidates << words.first();
    for (const QString& candidate : candidates) {
        const QString path = QFileInfo(candidate).absoluteFilePath();
        if (!FVerifiedFiles.contains(path))
            continue;
        const QByteArray name = QFile::encodeName(path);
        struct stat st {};
        // Only the regular file itself, never what a link put in its place points to.
        if (::lstat(name.constData(), &st) == 0 && S_ISREG(st.st_mode))
            ::chmod(name.constData(), (st.st_mode & 07777) | S_IXUSR);
        return;
    }
}

bool TAutoUpdate::ExpectedDigest(const QString& url, const QString& text, QByteArray* digest) {
    digest->clear();
    const QString hex = text.trimmed();
    if (hex.isEmpty() && !FSignedRun)
        return true;
    bool ok = hex.size() == 64;
    for (const QChar c : hex)
        ok = ok &&
             (c.isDigit() || (c.toLower() >= QLatin1Char('a') && c.toLower() <= QLatin1Char('f')));
    if (!ok) {
        LogCode(976,
                hex.isEmpty()
                    ? QStringLiteral("no sha256 for %1 in the signed control file").arg(url)
                    : QStringLiteral("the sha256 of %1 is not 64 hexadecimal digits").arg(url),
                0);
        return false;
    }
    *digest = QByteArray::fromHex(hex.toLatin1());
    return true;
}

} // namespace zarq
