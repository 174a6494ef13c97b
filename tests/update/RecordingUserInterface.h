#pragma once

#include "update/UpdateUserInterface.h"

// Answers every question with `answer` and notes what was asked.
class RecordingUserInterface : public zarq::UpdateUserInterface {
public:
    bool Confirm(const QString& text) override { return note("confirm", text); }
    void ShowError(const QString& text) override { note("error", text); }
    bool Login(const QString& caption, QString&, QString&) override {
        return note("login", caption);
    }
    void ShowMessage(const QString& text) override { note("message", text); }
    bool Query(const QString& text) override { return note("query", text); }
    bool ShowWhatsNew(const QString& caption, const QStringList&, const QString&,
                      const QString&) override {
        return note("whatsnew", caption);
    }
    bool ShowEULA(const QString& caption, const QStringList&, const QString&, const QString&,
                  const QString&) override {
        return note("eula", caption);
    }

    bool answer = true;
    QStringList asked;

private:
    bool note(const char* kind, const QString& text) {
        asked.append(QString::fromLatin1(kind) + ": " + text);
        return answer;
    }
};
