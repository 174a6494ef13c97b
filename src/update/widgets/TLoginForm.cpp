#include "update/widgets/TLoginForm.h"

#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QLinearGradient>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>

namespace zarq {

namespace {

// The banner: a band in the program's blue with the dialog's purpose on it.
QPixmap bannerPicture() {
    QPixmap picture(320, 60);
    QPainter painter(&picture);
    QLinearGradient band(0, 0, 320, 0);
    band.setColorAt(0, QColor(0x1f, 0x4e, 0x8c));
    band.setColorAt(1, QColor(0x6f, 0xa8, 0xdc));
    painter.fillRect(picture.rect(), band);
    painter.setPen(Qt::white);
    QFont font = painter.font();
    font.setPixelSize(20);
    font.setBold(true);
    painter.setFont(font);
    painter.drawText(picture.rect().adjusted(16, 0, 0, 0), Qt::AlignVCenter | Qt::AlignLeft,
                     QStringLiteral("Update server"));
    return picture;
}

} // namespace

TLoginForm::TLoginForm(const QString& caption, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("LoginForm"));
    setWindowTitle(caption);
    setWindowModality(Qt::ApplicationModal);
    setFixedSize(328, 223);

    Banner = new QLabel(this);
    Banner->setObjectName(QStringLiteral("Banner"));
    Banner->setPixmap(bannerPicture());
    Banner->setGeometry(4, 0, 320, 60);

    Label1 = new QLabel(QStringLiteral("&User name: "), this);
    Label1->setGeometry(16, 80, 88, 21);
    Edit1 = new QLineEdit(this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setGeometry(108, 80, 200, 21);
    Label1->setBuddy(Edit1);

    Label2 = new QLabel(QStringLiteral("&Password:"), this);
    Label2->setGeometry(16, 116, 88, 21);
    Edit2 = new QLineEdit(this);
    Edit2->setObjectName(QStringLiteral("Edit2"));
    Edit2->setGeometry(108, 116, 200, 21);
    Edit2->setEchoMode(QLineEdit::Password);
    // The password shows as "*" whatever the style's own mask character is.
    Edit2->setStyleSheet(QStringLiteral("lineedit-password-character: 42;"));
    Label2->setBuddy(Edit2);

    OKButton = new QPushButton(QStringLiteral("OK"), this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setGeometry(152, 180, 75, 25);
    OKButton->setDefault(true);
    CancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    CancelButton->setObjectName(QStringLiteral("CancelButton"));
    CancelButton->setGeometry(233, 180, 75, 25);
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
    Edit1->setFocus();

    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

bool TLoginForm::Execute(QString& user, QString& password) {
    if (exec() != QDialog::Accepted)
        return false;
    user = Edit1->text();
    password = Edit2->text();
    return true;
}

} // namespace zarq
