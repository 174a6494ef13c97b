#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <functional>
#include <initializer_list>

class QWidget;

namespace zarq {

// The skinned message box (the main window's `SkinMessage1`) and the application's error box.
//
// question(): the main window's questions. A modal box of the error kind: caption "Error",
// the skin's error picture, the text, and the buttons "OK" (default, Enter) and "Cancel"
// (Escape). Returns 1 for "OK"; "Cancel", Escape or closing the box return 2. Callers act
// only on 1. Like every modal box it runs its own event loop: queued events (notices, timer
// ticks, tray commands) are still handled while it waits, so a second box can open on top
// of the first.
//
// showApplicationError(): the box for a failure no handler dealt with (the application's
// error box): caption the application title, the error picture, the failure's text and one
// "OK". Qt does not carry exceptions through its event loop, so a handler that lets a
// failure end it must catch it and call this; the program then goes on.
//
// Test hook: tests set the next answers instead of clicking. While the hook is armed (from
// queueAnswers() or setAnswerer() until resetTestHook()), no box is shown: each box takes
// the next queued answer (the answerer, when set, is asked instead), and is recorded in
// shownBoxes() when answered (a box answered inside the answerer of another comes first). An armed
// hook with no answer left answers 2 and records that too, so a test that forgot an answer fails on
// its expectations instead of hanging on a modal box. The answerer may post events and process
// them, which is how a test lets a notice arrive while a box is open.
class TSkinMessage : public QObject {
    Q_OBJECT
public:
    static constexpr int OK = 1;
    static constexpr int Cancel = 2;

    enum class Kind { Question, ApplicationError, Plain };
    struct Shown {
        Kind kind;
        QString caption;
        QString text;
        int answer;
    };
    using Answerer = std::function<int(const Shown&)>;

    explicit TSkinMessage(QObject* parent = nullptr);

    // Asks `text`; 1 means "OK". `parent` centres the box and is blocked while it is open.
    int question(const QString& text, QWidget* parent = nullptr) const;

    // The application's error box with `text`.
    static void showApplicationError(const QString& text, QWidget* parent = nullptr);

    // A plain notice: caption the application title, no picture, the text and one "OK".
    static void showPlain(const QString& text, QWidget* parent = nullptr);

    // --- test hook ---
    static void queueAnswers(std::initializer_list<int> answers);
    static void setAnswerer(Answerer answerer);
    static void resetTestHook();
    static bool testHookArmed();
    static int pendingAnswers();
    static QList<Shown> shownBoxes();

private:
    // Returns true and sets `answer` when the test hook answers the box.
    static bool answeredByHook(Kind kind, const QString& caption, const QString& text, int& answer);
};

} // namespace zarq
