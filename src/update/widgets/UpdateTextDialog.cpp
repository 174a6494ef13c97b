#include "update/widgets/UpdateTextDialog.h"

#include <QButtonGroup>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>

namespace zarq {

UpdateTextDialog::UpdateTextDialog(const QString& caption, const QStringList& text, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(caption);
    setWindowModality(Qt::ApplicationModal);
    // A dialog border with the close box only.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(kSize, kSize);

    Memo = new QPlainTextEdit(this);
    Memo->setObjectName(QStringLiteral("Memo"));
    Memo->setReadOnly(true);
    Memo->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    Memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo->setGeometry(10, 10, width() - 20, height() - 60);
    Memo->setPlainText(text.join(QLatin1Char('\n')));

    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

int UpdateTextDialog::controlsTop() const {
    return Memo->geometry().bottom() + 1 + 10;
}

QPushButton* UpdateTextDialog::button(const QString& text, int right) {
    auto* b = new QPushButton(text, this);
    b->setGeometry(right - kButtonWidth, controlsTop(), kButtonWidth, kButtonHeight);
    return b;
}

UpdateTextDialog* UpdateTextDialog::whatsNew(const QString& caption, const QStringList& text,
                                             const QString& okButton, const QString& cancelButton,
                                             QWidget* parent) {
    auto* d = new UpdateTextDialog(caption, text, parent);
    const int right = d->Memo->geometry().right() + 1;
    d->OkButton = d->button(okButton, right - 10 - kButtonWidth);
    d->OkButton->setObjectName(QStringLiteral("OkButton"));
    d->CancelButton = d->button(cancelButton, right);
    d->CancelButton->setObjectName(QStringLiteral("CancelButton"));
    d->OkButton->setDefault(true);
    connect(d->OkButton, &QPushButton::clicked, d, &QDialog::accept);
    connect(d->CancelButton, &QPushButton::clicked, d, &QDialog::reject);
    setTabOrder(d->OkButton, d->CancelButton);
    d->OkButton->setFocus();
    return d;
}

UpdateTextDialog* UpdateTextDialog::licence(const QString& caption, const QStringList& text,
                                            const QString& okButton, const QString& accept,
                                            const QString& notAccept, QWidget* parent) {
    auto* d = new UpdateTextDialog(caption, text, parent);
    d->OkButton = d->button(okButton, d->Memo->geometry().right() + 1);
    d->OkButton->setObjectName(QStringLiteral("OkButton"));
    d->OkButton->setEnabled(true);
    d->OkButton->setDefault(true);
    connect(d->OkButton, &QPushButton::clicked, d, &QDialog::accept);

    d->AcceptChoice = new QRadioButton(accept, d);
    d->AcceptChoice->setObjectName(QStringLiteral("AcceptChoice"));
    d->NotAcceptChoice = new QRadioButton(notAccept, d);
    d->NotAcceptChoice->setObjectName(QStringLiteral("NotAcceptChoice"));
    auto* group = new QButtonGroup(d);
    group->addButton(d->AcceptChoice);
    group->addButton(d->NotAcceptChoice);
    const int top = d->controlsTop();
    const int firstWidth = d->AcceptChoice->sizeHint().width();
    d->AcceptChoice->setGeometry(10, top, firstWidth, kButtonHeight);
    d->NotAcceptChoice->setGeometry(20 + firstWidth, top, d->NotAcceptChoice->sizeHint().width(),
                                    kButtonHeight);
    d->NotAcceptChoice->setChecked(true);
    setTabOrder(d->OkButton, d->AcceptChoice);
    setTabOrder(d->AcceptChoice, d->NotAcceptChoice);
    d->OkButton->setFocus();
    return d;
}

bool UpdateTextDialog::accepted() const {
    if (AcceptChoice)
        return AcceptChoice->isChecked();
    return result() == QDialog::Accepted;
}

} // namespace zarq
