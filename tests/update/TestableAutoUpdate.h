#pragma once

#include "update/TAutoUpdate.h"
#include "update/UpdateMessages.h"

#include <QThread>
#include <QVector>

// The component with its protected steps and state opened for tests. It records every
// message number with its text and codes, and where the restart would have happened.
class TestableAutoUpdate : public zarq::TAutoUpdate {
public:
    // Unsigned control files, as a user who opted in for an in-house host would run them.
    TestableAutoUpdate() {
        zarq::UpdateTrust trust;
        trust.allowUnsigned = true;
        SetTrust(trust);
    }

    struct Message {
        int number;
        QString text;
        int status;
        int error;
        QThread* thread;
    };

    using TAutoUpdate::CheckFile;
    using TAutoUpdate::CheckUpdateSection;
    using TAutoUpdate::FAppComponentFound;
    using TAutoUpdate::FAppComps;
    using TAutoUpdate::FAppName;
    using TAutoUpdate::FAppParam;
    using TAutoUpdate::FAppUpdate;
    using TAutoUpdate::FCancelled;
    using TAutoUpdate::FChecksumEventIntervalMs;
    using TAutoUpdate::FChecksums;
    using TAutoUpdate::FControlFile;
    using TAutoUpdate::FControlValues;
    using TAutoUpdate::FFileList;
    using TAutoUpdate::FilterFileList;
    using TAutoUpdate::FNewVersion;
    using TAutoUpdate::FSilentRestart;
    using TAutoUpdate::FUpdateDate;
    using TAutoUpdate::GetControlFile;
    using TAutoUpdate::Log;
    using TAutoUpdate::ReadFileList;

    void LogStatus(int Number, const QString& Text, int StatusCode, int ErrCode) override {
        TAutoUpdate::LogStatus(Number, Text, StatusCode, ErrCode);
        messages.append({Number, zarq::UpdateMessages::Format(Number, Text), StatusCode, ErrCode,
                         QThread::currentThread()});
    }
    void RestartApplication() override { ++restarts; }

    void load(const QByteArray& control) { FControlValues = zarq::ControlFile::fromBytes(control); }
    QVector<int> numbers() const {
        QVector<int> list;
        for (const Message& m : messages)
            list.append(m.number);
        return list;
    }
    const Message* find(int number) const {
        for (const Message& m : messages) {
            if (m.number == number)
                return &m;
        }
        return nullptr;
    }

    QVector<Message> messages;
    int restarts = 0;
};
