#include "shell/TSkinMessage.h"

#include "shell/ApplicationTitle.h"
#include "shell/Skin.h"

#include <QMessageBox>
#include <QPushButton>
#include <QQueue>

namespace zarq {

namespace {

struct TestHook {
    bool armed = false;
    QQueue<int> answers;
    TSkinMessage::Answerer answerer;
    QList<TSkinMessage::Shown> shown;
};

TestHook& hook() {
    static TestHook instance;
    return instance;
}

// Both boxes are modal, of the error kind, and have an "OK" button that is the default.
QPushButton* prepareErrorBox(QMessageBox& box, const QString& caption, const QString& text) {
    box.setWindowModality(Qt::ApplicationModal);
    box.setWindowTitle(caption);
    box.setIconPixmap(Skin::pixmap(Skin::Picture::Error, 32));
    box.setText(text);
    QPushButton* ok = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
    box.setDefaultButton(ok);
    return ok;
}

} // namespace

TSkinMessage::TSkinMessage(QObject* parent) : QObject(parent) {}

int TSkinMessage::question(const QString& text, QWidget* parent) const {
    const QString caption = QStringLiteral("Error");
    int answer = Cancel;
    if (answeredByHook(Kind::Question, caption, text, answer))
        return answer;

    QMessageBox box(parent);
    QPushButton* ok = prepareErrorBox(box, caption, text);
    QPushButton* cancel = box.addButton(QStringLiteral("Cancel"), QMessageBox::RejectRole);
    box.setDefaultButton(ok);
    // Escape and the window's close button both end up as "Cancel".
    box.setEscapeButton(cancel);
    box.exec();
    return box.clickedButton() == ok ? OK : Cancel;
}

void TSkinMessage::showApplicationError(const QString& text, QWidget* parent) {
    const QString caption = applicationTitle();
    int answer = OK;
    if (answeredByHook(Kind::ApplicationError, caption, text, answer))
        return;

    QMessageBox box(parent);
    QPushButton* ok = prepareErrorBox(box, caption, text);
    box.setEscapeButton(ok);
    box.exec();
}

void TSkinMessage::showPlain(const QString& text, QWidget* parent) {
    const QString caption = applicationTitle();
    int answer = OK;
    if (answeredByHook(Kind::Plain, caption, text, answer))
        return;

    QMessageBox box(parent);
    box.setWindowModality(Qt::ApplicationModal);
    box.setWindowTitle(caption);
    box.setIcon(QMessageBox::NoIcon);
    box.setText(text);
    QPushButton* ok = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
    box.setDefaultButton(ok);
    box.setEscapeButton(ok);
    box.exec();
}

bool TSkinMessage::answeredByHook(Kind kind, const QString& caption, const QString& text,
                                  int& answer) {
    TestHook& h = hook();
    if (!h.armed)
        return false;
    Shown shown{kind, caption, text, Cancel};
    if (h.answerer) {
        // Copy: the answerer may re-enter (a box asked while this one is "open").
        const Answerer answerer = h.answerer;
        shown.answer = answerer(shown);
    } else if (!h.answers.isEmpty()) {
        shown.answer = h.answers.dequeue();
    }
    hook().shown.append(shown);
    answer = shown.answer;
    return true;
}

void TSkinMessage::queueAnswers(std::initializer_list<int> answers) {
    TestHook& h = hook();
    h.armed = true;
    for (int a : answers)
        h.answers.enqueue(a);
}

void TSkinMessage::setAnswerer(Answerer answerer) {
    TestHook& h = hook();
    h.armed = true;
    h.answerer = std::move(answerer);
}

void TSkinMessage::resetTestHook() {
    hook() = TestHook{};
}

bool TSkinMessage::testHookArmed() {
    return hook().armed;
}

int TSkinMessage::pendingAnswers() {
    return static_cast<int>(hook().answers.size());
}

QList<TSkinMessage::Shown> TSkinMessage::shownBoxes() {
    return hook().shown;
}

} // namespace zarq
