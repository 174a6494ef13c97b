#include "update/UpdateTrust.h"

#include "platform/RegistryStore.h"

#include <QStringList>

#ifndef ZARQ_BUILTIN_UPDATE_KEY
#define ZARQ_BUILTIN_UPDATE_KEY ""
#endif

namespace zarq {

namespace {

const QString kSettingsKey = QStringLiteral("software\\tervan\\zarq");

bool optedInBySettings(const QString& settingsFile) {
    const std::optional<RegistryValue> value =
        RegistryStore(settingsFile.isEmpty() ? RegistryStore::defaultFilePath() : settingsFile)
            .PeekValue(kSettingsKey, QLatin1String(UpdateTrust::kAllowValue));
    return value && value->type == RegDword && value->number == 1;
}

} // namespace

QByteArray UpdateTrust::builtInKeys() {
    return QByteArray(ZARQ_BUILTIN_UPDATE_KEY);
}

UpdateTrust UpdateTrust::fromKeys(const QByteArray& text, const QString& source) {
    UpdateTrust trust;
    trust.source = source;
    QStringList problems;
    for (const QByteArray& word : text.simplified().split(' ')) {
        if (word.isEmpty())
            continue;
        QString why;
        if (const std::optional<UpdatePublicKey> key = UpdatePublicKey::parse(word, &why))
            trust.keys.append(*key);
        else
            problems << why;
    }
    if (!problems.isEmpty()) {
        trust.keys.clear();
        trust.error = QStringLiteral("%1: %2").arg(source, problems.join(QStringLiteral("; ")));
    }
    return trust;
}

UpdateTrust UpdateTrust::keysInForce() {
    if (!qgetenv(kKeyVariable).trimmed().isEmpty())
        return fromKeys(qgetenv(kKeyVariable), QLatin1String(kKeyVariable));
    return fromKeys(builtInKeys(), QStringLiteral("built in (-DZARQ_UPDATE_PUBLIC_KEY)"));
}

UpdateTrust UpdateTrust::load(const QString& settingsFile) {
    UpdateTrust trust = keysInForce();
    if (qgetenv(kAllowVariable) == "1") {
        trust.allowUnsigned = true;
        trust.allowSource = QLatin1String(kAllowVariable) + QStringLiteral("=1");
    } else if (optedInBySettings(settingsFile)) {
        trust.allowUnsigned = true;
        trust.allowSource = QLatin1String(kAllowValue) + QStringLiteral(" in the settings file");
    }
    return trust;
}

QString UpdateTrust::refusal() const {
    if (!error.isEmpty())
        return QStringLiteral("the update key is malformed (%1); every update is refused")
            .arg(error);
    if (keys.isEmpty() && !allowUnsigned)
        return QStringLiteral("no update key configured: unsigned updates are refused (%1=1 or "
                              "\"%2\"=dword:00000001 in the settings file allows them)")
            .arg(QLatin1String(kAllowVariable), QLatin1String(kAllowValue));
    return QString();
}

QString UpdateTrust::describe() const {
    if (!error.isEmpty())
        return QStringLiteral("update keys: malformed, every update is refused (%1)").arg(error);
    if (!keys.isEmpty()) {
        QStringList ids;
        for (const UpdatePublicKey& key : keys)
            ids << key.idText();
        return QStringLiteral("update keys trusted: %1 (%2)")
            .arg(ids.join(QStringLiteral(", ")), source);
    }
    if (allowUnsigned)
        return QStringLiteral("update keys: none; unsigned updates allowed by %1").arg(allowSource);
    return QStringLiteral("update keys: none; updates are refused until a key is set (%1)")
        .arg(QLatin1String(kKeyVariable));
}

} // namespace zarq
