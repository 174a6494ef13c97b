#include "update/widgets/UpdateMessageBox.h"

#include <QMessageBox>
#include <QPushButton>
#include <QQueue>

namespace zarq {

namespace {

struct TestHook {
    bool armed = false;
    QQueue<bool> answers;
    UpdateMessageBox::Answerer answerer;
    QList<UpdateMessageBox::Shown> shown;
};

TestHook& hook() {
    static TestHook instance;
    return instance;
}

QString captionOf(UpdateMessageBox::Kind kind) {
    switch (kind) {
    case UpdateMessageBox::Kind::Confirm:
        return QStringLiteral("Confirm");
    case UpdateMessageBox::Kind::Error:
        return QStringLiteral("Error");
    default:
        return QStringLiteral("Information");
    }
}

QString withLineBreaks(const QString& text) {
    QString out = text;
    out.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    out.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return out;
}

} // namespace

bool UpdateMessageBox::show(Kind kind, const QString& text, QWidget* parent) {
    const QString caption = captionOf(kind);
    const QString shownText = withLineBreaks(text);
    TestHook& h = hook();
    if (h.armed) {
        Shown shown{kind, caption, shownText, false};
        if (h.answerer) {
            const Answerer answerer = h.answerer; // it may re-enter
            shown.answer = answerer(shown);
        } else if (!h.answers.isEmpty()) {
            shown.answer = h.answers.dequeue();
        }
        hook().shown.append(shown);
        return shown.answer;
    }

    QMessageBox box(parent);
    box.setWindowModality(Qt::ApplicationModal);
    box.setWindowTitle(caption);
    box.setText(shownText);
    box.setTextFormat(Qt::PlainText);
    switch (kind) {
    case Kind::Information:
    case Kind::Error: {
        box.setIcon(kind == Kind::Error ? QMessageBox::Critical : QMessageBox::Information);
        QPushButton* ok = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
        box.setDefaultButton(ok);
        box.setEscapeButton(ok);
        box.exec();
        return true;
    }
    case Kind::Query:
    case Kind::Confirm: {
        box.setIcon(kind == Kind::Query ? QMessageBox::Information : QMessageBox::Question);
        QPushButton* yes = box.addButton(QStringLiteral("Yes"), QMessageBox::YesRole);
        QPushButton* no = box.addButton(QStringLiteral("No"), QMessageBox::NoRole);
        box.setDefaultButton(yes);
        box.setEscapeButton(no);
        box.exec();
        return box.clickedButton() == yes;
    }
    }
    return false;
}

void UpdateMessageBox::queueAnswers(std::initializer_list<bool> answers) {
    TestHook& h = hook();
    h.armed = true;
    for (bool a : answers)
        h.answers.enqueue(a);
}

void UpdateMessageBox::setAnswerer(Answerer answerer) {
    TestHook& h = hook();
    h.armed = true;
    h.answerer = std::move(answerer);
}

void UpdateMessageBox::resetTestHook() {
    hook() = TestHook{};
}

QList<UpdateMessageBox::Shown> UpdateMessageBox::shownBoxes() {
    return hook().shown;
}

} // namespace zarq
