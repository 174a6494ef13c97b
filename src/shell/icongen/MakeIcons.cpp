// Draws the product's own pictures (application and tray icon, tab pictures, message-box
// icon) and writes them as PNG files into the folder given on the command line. The PNGs are
// committed under src/shell/data/icons; rebuild them with the target zarq_shell_icons after
// changing a drawing here.
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <cstdio>
#include <functional>

namespace {

using Drawing = std::function<void(QPainter&, double)>; // painter, unit = size / 64

// The application's mark: a white fir on a blue disc, with an orange ring for "online".
void drawAppMark(QPainter& p, double u) {
    QRadialGradient sky(QPointF(26 * u, 22 * u), 40 * u);
    sky.setColorAt(0, QColor(80, 160, 235));
    sky.setColorAt(1, QColor(16, 78, 160));
    p.setPen(Qt::NoPen);
    p.setBrush(sky);
    p.drawEllipse(QRectF(2 * u, 2 * u, 60 * u, 60 * u));
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(255, 128, 0), 3.5 * u));
    p.drawArc(QRectF(5 * u, 5 * u, 54 * u, 54 * u), 30 * 16, 120 * 16);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    const double tiers[3][3] = {{14, 32, 13}, {22, 42, 17}, {30, 51, 21}}; // top, base, half
    for (const auto& t : tiers) {
        QPainterPath tier;
        tier.moveTo(32 * u, t[0] * u);
        tier.lineTo((32 + t[2]) * u, t[1] * u);
        tier.lineTo((32 - t[2]) * u, t[1] * u);
        tier.closeSubpath();
        p.drawPath(tier);
    }
    p.drawRect(QRectF(29 * u, 50 * u, 6 * u, 7 * u));
}

// "动态域名": a globe with a name tag.
void drawDomainPage(QPainter& p, double u) {
    QLinearGradient sea(0, 4 * u, 0, 60 * u);
    sea.setColorAt(0, QColor(90, 175, 240));
    sea.setColorAt(1, QColor(20, 90, 175));
    p.setPen(QPen(QColor(14, 60, 120), 2 * u));
    p.setBrush(sea);
    const QRectF globe(6 * u, 6 * u, 46 * u, 46 * u);
    p.drawEllipse(globe);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(235, 245, 255), 1.8 * u));
    p.drawEllipse(QRectF(18 * u, 6 * u, 22 * u, 46 * u));
    p.drawLine(QPointF(29 * u, 6 * u), QPointF(29 * u, 52 * u));
    p.drawLine(QPointF(6 * u, 29 * u), QPointF(52 * u, 29 * u));
    p.drawLine(QPointF(10 * u, 18 * u), QPointF(48 * u, 18 * u));
    p.drawLine(QPointF(10 * u, 40 * u), QPointF(48 * u, 40 * u));
    p.setPen(QPen(QColor(150, 70, 0), 1.5 * u));
    p.setBrush(QColor(255, 128, 0));
    p.drawRoundedRect(QRectF(30 * u, 40 * u, 30 * u, 18 * u), 4 * u, 4 * u);
    p.setPen(QPen(Qt::white, 2.5 * u, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(35 * u, 46 * u), QPointF(55 * u, 46 * u));
    p.drawLine(QPointF(35 * u, 52 * u), QPointF(49 * u, 52 * u));
}

// "网络信息": a screen linked to two network nodes.
void drawNetworkPage(QPainter& p, double u) {
    p.setPen(QPen(QColor(90, 90, 100), 3 * u, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(32 * u, 34 * u), QPointF(12 * u, 54 * u));
    p.drawLine(QPointF(32 * u, 34 * u), QPointF(52 * u, 54 * u));
    p.setPen(QPen(QColor(40, 40, 50), 2 * u));
    p.setBrush(QColor(60, 60, 70));
    p.drawRoundedRect(QRectF(10 * u, 6 * u, 44 * u, 30 * u), 3 * u, 3 * u);
    QLinearGradient screen(0, 9 * u, 0, 33 * u);
    screen.setColorAt(0, QColor(120, 200, 255));
    screen.setColorAt(1, QColor(30, 110, 200));
    p.setPen(Qt::NoPen);
    p.setBrush(screen);
    p.drawRect(QRectF(13 * u, 9 * u, 38 * u, 24 * u));
    p.setBrush(QColor(255, 128, 0));
    p.setPen(QPen(QColor(150, 70, 0), 1.5 * u));
    p.drawEllipse(QPointF(12 * u, 54 * u), 7 * u, 7 * u);
    p.drawEllipse(QPointF(52 * u, 54 * u), 7 * u, 7 * u);
    p.setPen(QPen(Qt::white, 2 * u));
    for (int row = 0; row < 3; ++row)
        p.drawLine(QPointF(17 * u, (14 + 6 * row) * u),
                   QPointF((40 - 6 * row) * u, (14 + 6 * row) * u));
}

// The message box's error picture: a red stop disc with a white cross.
void drawError(QPainter& p, double u) {
    QRadialGradient red(QPointF(26 * u, 22 * u), 38 * u);
    red.setColorAt(0, QColor(255, 95, 80));
    red.setColorAt(1, QColor(190, 20, 20));
    p.setPen(QPen(QColor(120, 0, 0), 2 * u));
    p.setBrush(red);
    p.drawEllipse(QRectF(3 * u, 3 * u, 58 * u, 58 * u));
    p.setPen(QPen(Qt::white, 8 * u, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(21 * u, 21 * u), QPointF(43 * u, 43 * u));
    p.drawLine(QPointF(43 * u, 21 * u), QPointF(21 * u, 43 * u));
}

bool write(const QString& dir, const QString& name, int size, const Drawing& draw) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    draw(p, size / 64.0);
    p.end();
    const QString path = dir + QLatin1Char('/') + name;
    if (!image.save(path, "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output folder>\n", argv[0]);
        return 2;
    }
    const QString dir = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(dir);
    bool ok = true;
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
        ok &= write(dir, QStringLiteral("zarq-%1.png").arg(size), size, drawAppMark);
    ok &= write(dir, QStringLiteral("tab-domain.png"), 64, drawDomainPage);
    ok &= write(dir, QStringLiteral("tab-network.png"), 64, drawNetworkPage);
    ok &= write(dir, QStringLiteral("error-32.png"), 32, drawError);
    ok &= write(dir, QStringLiteral("error-64.png"), 64, drawError);
    return ok ? 0 : 1;
}
