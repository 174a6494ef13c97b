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
    bool ShowWhatsNew(const QString& caption, const QStringList& text, const QString& ok,
                      const QString& cancel) override {
        return note("whatsnew", QStringList{caption, text.join('|'), ok, cancel}.join(','));
    }
    bool ShowEULA(const QString& caption, const QStringList& text, const QString& ok,
                  const QString& accept, const QString& notAccept) override {
        return note("eula", QStringList{caption, text.join('|'), ok, accept, notAccept}.join(','));
    }
    void OpenURL(const QString& url) override { note("open", url); }

    bool answer = true;
    QStringList asked;

private:
    bool note(const char* kind, const QString& text) {
        asked.append(QString::fromLatin1(kind) + ": " + text);
        return answer;
    }
};
