#pragma once

#include <QList>
#include <QString>
#include <functional>
#include <initializer_list>

class QWidget;

namespace zarq {

// The update's message boxes: modal, centred on the screen, with the system's picture of
// their kind.
//   Information: caption "Information", the text, one "OK" (the control file's msg).
//   Query: caption "Information", the text, "Yes" (default) and "No" (the control file's query).
//   Confirm: caption "Confirm", the text, "Yes" (default) and "No" (the download prompts).
//   Error: caption "Error", the text, one "OK".
// Closing a box with Yes and No, or Escape, answers No. Line breaks of the control file's
// texts (carriage returns) show as line breaks.
//
// Test hook: while armed (queueAnswers() or setAnswerer() until resetTestHook()), no box is
// shown; each takes the next queued answer (the answerer, when set, decides instead) and is
// recorded in shownBoxes(). With no answer left a box answers No, so a test that forgot one
// fails on its expectations instead of hanging.
class UpdateMessageBox {
public:
    enum class Kind { Information, Query, Confirm, Error };
    struct Shown {
        Kind kind;
        QString caption;
        QString text;
        bool answer;
    };
    using Answerer = std::function<bool(const Shown&)>;

    // True for Yes (and for the boxes with one "OK").
    static bool show(Kind kind, const QString& text, QWidget* parent = nullptr);

    // --- test hook ---
    static void queueAnswers(std::initializer_list<bool> answers);
    static void setAnswerer(Answerer answerer);
    static void resetTestHook();
    static QList<Shown> shownBoxes();
};

} // namespace zarq
