#include "update/RememberedSettings.h"

#include "platform/RegistryStore.h"
#include "update/UpdateDate.h"

namespace zarq {

namespace {

const QString kLastURL = QStringLiteral("LastURL");
const QString kLastDate = QStringLiteral("LastDate");
const QString kLastTime = QStringLiteral("LastTime");
const QString kDateFormat = QStringLiteral("dd/mm/yyyy");

RegistryStore storeFor(const QString& file, TLastURLRoot root) {
    return RegistryStore(file, root == lurLOCALMACHINE ? QStringLiteral("HKEY_LOCAL_MACHINE")
                                                       : QStringLiteral("HKEY_CURRENT_USER"));
}

} // namespace

RememberedSettings::RememberedSettings(const TLastURLEntry& entry, QString storeFile)
    : m_entry(entry),
      m_file(storeFile.isEmpty() ? RegistryStore::defaultFilePath() : std::move(storeFile)) {}

bool RememberedSettings::configured() const {
    return !m_entry.Key.isEmpty() && !m_entry.Section.isEmpty();
}

bool RememberedSettings::saving() const {
    return configured() && m_entry.Save;
}

QString RememberedSettings::read(const QString& name) const {
    if (!configured())
        return QString();
    RegistryStore store = storeFor(m_file, m_entry.RegRoot);
    try {
        // Reading never creates the key: a run that only looks leaves the store as it was.
        if (!store.OpenKey(m_entry.Key + QLatin1Char('\\') + m_entry.Section, false) ||
            !store.ValueExists(name))
            return QString();
        return store.ReadString(name);
    } catch (const ERegistryException&) {
        // A value of another type or a damaged file (already reported and set aside by the
        // store) reads as no value: the run then goes by the URL and the file dates.
        return QString();
    }
}

QString RememberedSettings::lastURL() const {
    return saving() ? read(kLastURL) : QString();
}

std::optional<QDateTime> RememberedSettings::lastDate() const {
    const QString date = read(kLastDate);
    if (date.isEmpty() || !UpdateDate::parseDate(date, kDateFormat, QLatin1Char('/')).isValid())
        return std::nullopt;
    return UpdateDate::combine(date, read(kLastTime), kDateFormat, QLatin1Char('/'),
                               QLatin1Char(':'));
}

QString RememberedSettings::setLastURL(const QString& url) {
    if (!saving())
        return QString();
    try {
        RegistryStore store = storeFor(m_file, m_entry.RegRoot);
        if (!store.OpenKeyForWrite(m_entry.Key + QLatin1Char('\\') + m_entry.Section))
            return QStringLiteral("cannot open %1").arg(m_file);
        store.WriteString(kLastURL, url);
    } catch (const ERegistryException& e) {
        return e.messageWithDetail();
    }
    return QString();
}

QString RememberedSettings::setLastDate(const QDateTime& when) {
    if (!saving())
        return QString();
    QList<RegistryValue> values;
    values.append({kLastDate, RegSz, when.toString(QStringLiteral("dd/MM/yyyy")), 0, {}});
    if (when.time() != QTime(0, 0))
        values.append({kLastTime, RegSz, when.toString(QStringLiteral("HH:mm:ss")), 0, {}});
    try {
        RegistryStore store = storeFor(m_file, m_entry.RegRoot);
        if (!store.OpenKeyForWrite(m_entry.Key + QLatin1Char('\\') + m_entry.Section))
            return QStringLiteral("cannot open %1").arg(m_file);
        store.WriteValues(values);
    } catch (const ERegistryException& e) {
        return e.messageWithDetail();
    }
    return QString();
}

} // namespace zarq
