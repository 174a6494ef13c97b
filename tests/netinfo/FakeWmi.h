#pragma once

#include "netinfo/WmiError.h"
#include "netinfo/WmiInstanceList.h"
#include "netinfo/WmiLocator.h"

#include <QMap>
#include <QStringList>
#include <functional>
#include <optional>

namespace zarq::test {

// A property with a value, in one line.
inline WmiProperty prop(const QString& name, int cimType, const QVariant& value) {
    return WmiProperty{name, cimType, value};
}

inline QVariant strings(const QStringList& list) {
    QVariantList values;
    for (const QString& s : list)
        values.append(s);
    return values;
}

// What the fake answers to one query text: instances, or a failure with a message. A
// reported count other than the number of instances lets tests lie about the count.
struct FakeAnswer {
    QList<WmiObject> instances;
    std::optional<QString> failure;
    std::optional<int> reportedCount;
};

class FakeObjectSet : public WmiInstanceList {
public:
    FakeObjectSet(QList<WmiObject> instances, std::optional<int> reportedCount)
        : WmiInstanceList(std::move(instances)), m_reported(reportedCount) {}
    int count() override { return m_reported ? *m_reported : WmiInstanceList::count(); }

private:
    std::optional<int> m_reported;
};

// A WMI provider answering from a table of query texts. It records every call, so tests
// can check which queries ran in which order; a text it has no answer for gives no
// instance.
class FakeWmiLocator : public WmiLocator {
public:
    struct Call {
        QString kind; // "connect", "ExecQuery" or "InstancesOf"
        QString text;
        QString language;
        int flags = 0;
    };

    std::unique_ptr<WmiServices> connectServer(const QString& server, const QString& nameSpace,
                                               const QString& user,
                                               const QString& password) override;

    QStringList queries() const {
        QStringList out;
        for (const Call& c : calls) {
            if (c.kind != QLatin1String("connect"))
                out.append(c.text);
        }
        return out;
    }

    QMap<QString, FakeAnswer> answers;
    std::optional<QString> connectFailure;
    QList<Call> calls;
};

class FakeWmiServices : public WmiServices {
public:
    explicit FakeWmiServices(FakeWmiLocator& owner) : m_owner(owner) {}

    std::unique_ptr<WmiObjectSet> execQuery(const QString& query, const QString& language,
                                            int flags) override {
        m_owner.calls.append({QStringLiteral("ExecQuery"), query, language, flags});
        return answer(query);
    }
    std::unique_ptr<WmiObjectSet> instancesOf(const QString& className, int flags) override {
        m_owner.calls.append({QStringLiteral("InstancesOf"), className, QString(), flags});
        return answer(className);
    }

private:
    std::unique_ptr<WmiObjectSet> answer(const QString& text) {
        const FakeAnswer a = m_owner.answers.value(text);
        if (a.failure)
            throw WmiError(*a.failure);
        return std::make_unique<FakeObjectSet>(a.instances, a.reportedCount);
    }

    FakeWmiLocator& m_owner;
};

inline std::unique_ptr<WmiServices> FakeWmiLocator::connectServer(const QString& server,
                                                                  const QString& nameSpace,
                                                                  const QString& user,
                                                                  const QString&) {
    calls.append({QStringLiteral("connect"), server + u'|' + nameSpace + u'|' + user, {}, 0});
    if (connectFailure)
        throw WmiError(*connectFailure);
    return std::make_unique<FakeWmiServices>(*this);
}

} // namespace zarq::test
