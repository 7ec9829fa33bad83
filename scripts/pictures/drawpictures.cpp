// Draws the programs' pictures: reads "name<TAB>width<TAB>height<TAB>file" lines on standard input and
// writes each picture, at exactly that size, to its file (PNG, or ICO for a ".ico" file).
//
// Icons that a desktop icon set has are the set's symbolic SVGs (folder in ORV_ICON_DIR, the desktop's
// symbolic theme), rendered with QtSvg and filled with the control's colour; what no set has (the
// key-map buttons, the tutorial's diagrams, the logo, backgrounds and check boxes) is drawn here with
// QPainter. The same input gives the same bytes: no time, no randomness, fixed fonts.
//
// Built and run by scripts/make-pictures; exits non-zero on a name it does not know or an icon it
// cannot find, so that no picture is left undrawn.

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QImageWriter>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QSvgRenderer>
#include <QTextStream>
#include <QtMath>

#include <cstdio>
#include <functional>

namespace {

// Colours of the dark windows the pictures sit on.
const QColor kIcon(0xb4, 0xba, 0xc6);      // an icon at rest
const QColor kIconHover(0xff, 0xff, 0xff); // under the mouse
const QColor kIconPressed(0x7d, 0xc4, 0xff);
const QColor kIconDisabled(0x6a, 0x6f, 0x7a);
const QColor kBlue(0x01, 0x90, 0xff);
const QColor kGreen(0x2f, 0xb3, 0x6b);
const QColor kRed(0xf7, 0x46, 0x2a);
const QColor kOrange(0xf5, 0xa6, 0x23);
const QColor kPanel(0x3a, 0x3f, 0x49);
const QColor kPanelDark(0x2a, 0x2e, 0x36);
const QColor kLine(0x11, 0x15, 0x18);

QString g_iconDir;
bool g_failed = false;

QImage blank(int w, int h)
{
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

void smooth(QPainter &p)
{
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.setRenderHint(QPainter::TextAntialiasing);
}

QFont font(int pixels, bool bold = true)
{
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPixelSize(pixels);
    f.setBold(bold);
    f.setHintingPreference(QFont::PreferNoHinting);
    f.setStyleStrategy(QFont::PreferAntialias);
    return f;
}

QColor alpha(QColor c, int a)
{
    c.setAlpha(a);
    return c;
}

// One symbolic icon of the set, filled with colour, drawn into rect.
void symbol(QPainter &p, const QString &icon, const QRectF &rect, const QColor &colour)
{
    static const char *const kFolders[] = {"actions", "apps",   "categories", "devices",
                                           "emblems", "emotes", "legacy",     "mimetypes",
                                           "places",  "status", "ui"};
    QString path;
    for (const char *folder : kFolders) {
        const QString candidate =
            g_iconDir + QLatin1Char('/') + QLatin1String(folder) + QLatin1Char('/') + icon + "-symbolic.svg";
        if (QFileInfo::exists(candidate)) {
            path = candidate;
            break;
        }
    }
    QSvgRenderer renderer(path);
    if (path.isEmpty() || !renderer.isValid()) {
        std::fprintf(stderr, "drawpictures: no icon %s in %s\n", qPrintable(icon), qPrintable(g_iconDir));
        g_failed = true;
        return;
    }
    // Rendered at four times the size and averaged down: thin strokes keep their weight at 13 pixels.
    const QRect target(qRound(rect.x()), qRound(rect.y()), qRound(rect.width()), qRound(rect.height()));
    const QSize big = target.size() * 4;
    QImage shape = blank(big.width(), big.height());
    {
        QPainter q(&shape);
        smooth(q);
        renderer.render(&q, QRectF(QPointF(0, 0), QSizeF(big)));
        q.setCompositionMode(QPainter::CompositionMode_SourceIn);
        q.fillRect(shape.rect(), colour);
    }
    p.drawImage(target.topLeft(),
                shape.scaled(target.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
}

// An icon centred in the picture, size pixels wide.
QImage iconPicture(int w, int h, const QString &icon, const QColor &colour, qreal size)
{
    QImage image = blank(w, h);
    QPainter p(&image);
    symbol(p, icon, QRectF((w - size) / 2.0, (h - size) / 2.0, size, size), colour);
    return image;
}

void roundPanel(QPainter &p, const QRectF &r, qreal radius, const QColor &top, const QColor &bottom,
                const QColor &border)
{
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0, top);
    g.setColorAt(1, bottom);
    p.setBrush(g);
    p.setPen(border.alpha() ? QPen(border, 1) : Qt::NoPen);
    p.drawRoundedRect(r, radius, radius);
}

// The application's logo: a rounded square in green to blue with a white ring and a play mark.
QImage logo(int w, int h)
{
    QImage image = blank(w, h);
    QPainter p(&image);
    smooth(p);
    const qreal side = qMin(w, h);
    const QRectF r((w - side) / 2.0 + 0.5, (h - side) / 2.0 + 0.5, side - 1, side - 1);
    QLinearGradient g(r.topLeft(), r.bottomRight());
    g.setColorAt(0, QColor(0x35, 0xd0, 0x8a));
    g.setColorAt(1, QColor(0x0a, 0x7c, 0xe0));
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawRoundedRect(r, side * 0.22, side * 0.22);
    const QPointF c = r.center();
    const qreal ring = side * 0.30;
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(Qt::white, qMax(1.5, side * 0.10)));
    p.drawEllipse(c, ring, ring);
    QPainterPath play;
    const qreal t = side * 0.15;
    play.moveTo(c.x() - t * 0.6, c.y() - t);
    play.lineTo(c.x() + t, c.y());
    play.lineTo(c.x() - t * 0.6, c.y() + t);
    play.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawPath(play);
    return image;
}

// A check box or radio button: border, and when checked a filled face with a tick or dot.
QImage checkBox(int w, int h, bool checked, bool round, const QColor &edge, const QColor &face,
                const QColor &mark)
{
    QImage image = blank(w, h);
    QPainter p(&image);
    smooth(p);
    // A one-pixel edge on the pixels' centres: crisp, fully covered pixels.
    const QRectF r(1.5, 1.5, w - 3, h - 3);
    p.setPen(QPen(edge, 1));
    p.setBrush(checked ? QBrush(face) : QBrush(alpha(Qt::black, 40)));
    if (round)
        p.drawEllipse(r);
    else
        p.drawRoundedRect(r, 2.5, 2.5);
    if (checked) {
        if (round) {
            p.setPen(Qt::NoPen);
            p.setBrush(mark);
            p.drawEllipse(r.center(), w * 0.2, h * 0.2);
        } else {
            QPainterPath tick;
            tick.moveTo(w * 0.24, h * 0.52);
            tick.lineTo(w * 0.43, h * 0.72);
            tick.lineTo(w * 0.78, h * 0.30);
            p.setPen(QPen(mark, qMax(1.5, w * 0.13), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            p.setBrush(Qt::NoBrush);
            p.drawPath(tick);
        }
    }
    return image;
}

// A chevron pointing left (the dialogs' return buttons).
QImage chevron(int w, int h, const QColor &colour, bool left = true)
{
    QImage image = blank(w, h);
    QPainter p(&image);
    smooth(p);
    const qreal pen = qMax(1.6, w * 0.18);
    QPainterPath path;
    const qreal x0 = pen, x1 = w - pen;
    path.moveTo(left ? x1 : x0, pen);
    path.lineTo(left ? x0 : x1, h / 2.0);
    path.lineTo(left ? x1 : x0, h - pen);
    p.setPen(QPen(colour, pen, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(path);
    return image;
}

// A close cross drawn with a bold pen: its middle keeps its colour where a control scales it.
QImage cross(int w, int h, const QColor &colour, qreal pen, qreal margin)
{
    QImage image = blank(w, h);
    QPainter p(&image);
    smooth(p);
    p.setPen(QPen(colour, pen, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(margin, margin), QPointF(w - margin, h - margin));
    p.drawLine(QPointF(w - margin, margin), QPointF(margin, h - margin));
    return image;
}

// A button's face: a rounded panel of one colour (so that it keeps that colour where it is scaled), a
// darker rim, a light top edge, an optional icon in the middle.
QImage buttonFace(int w, int h, const QColor &colour, const QString &icon = QString())
{
    QImage image = blank(w, h);
    QPainter p(&image);
    smooth(p);
    const QRectF r(0.5, 0.5, w - 1, h - 1);
    roundPanel(p, r, qMin(h / 2.0 - 1, 5.0), colour, colour, colour.darker(150));
    p.setPen(QPen(alpha(Qt::white, 70), 1));
    p.drawLine(QPointF(r.left() + 4, 1.5), QPointF(r.right() - 4, 1.5));
    if (!icon.isEmpty()) {
        const qreal s = h * 0.5;
        symbol(p, icon, QRectF((w - s) / 2.0, (h - s) / 2.0, s, s), Qt::white);
    }
    return image;
}

// A key cap: translucent dark face, light rim, a lighter top; rim in the accent colour when chosen.
void keyCap(QPainter &p, const QRectF &r, bool chosen, const QString &letter = QString(), qreal radius = 6)
{
    smooth(p);
    roundPanel(p, r, radius, QColor(0x55, 0x5b, 0x68, 215), QColor(0x22, 0x25, 0x2c, 215), Qt::transparent);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(chosen ? kBlue : alpha(Qt::white, 200), chosen ? 2.2 : 1.6));
    p.drawRoundedRect(r.adjusted(1, 1, -1, -1), radius - 1, radius - 1);
    p.setPen(QPen(alpha(Qt::white, 60), 1));
    p.drawLine(QPointF(r.left() + radius, r.top() + 3.5), QPointF(r.right() - radius, r.top() + 3.5));
    if (!letter.isEmpty()) {
        p.setPen(Qt::white);
        p.setFont(font(int(qMin(r.height() * 0.45, r.width() * (letter.size() > 1 ? 0.28 : 0.5)))));
        p.drawText(r, Qt::AlignCenter, letter);
    }
}

// A round pad: translucent disc with a rim.
void disc(QPainter &p, const QPointF &c, qreal radius, bool chosen)
{
    smooth(p);
    QRadialGradient g(c, radius);
    g.setColorAt(0, QColor(0x4a, 0x50, 0x5c, 200));
    g.setColorAt(1, QColor(0x20, 0x23, 0x29, 215));
    p.setBrush(g);
    p.setPen(QPen(chosen ? kBlue : alpha(Qt::white, 200), chosen ? 2.5 : 1.8));
    p.drawEllipse(c, radius, radius);
}

void arrowHead(QPainter &p, const QPointF &tip, qreal angleDegrees, qreal size, const QColor &colour)
{
    p.save();
    p.translate(tip);
    p.rotate(angleDegrees);
    QPainterPath head;
    head.moveTo(0, 0);
    head.lineTo(-size, -size * 0.6);
    head.lineTo(-size * 0.7, 0);
    head.lineTo(-size, size * 0.6);
    head.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawPath(head);
    p.restore();
}

// A straight arrow from a to b.
void arrow(QPainter &p, const QPointF &a, const QPointF &b, const QColor &colour, qreal width = 3)
{
    p.setPen(QPen(colour, width, Qt::SolidLine, Qt::RoundCap));
    const QLineF line(a, b);
    QLineF shaft = line;
    shaft.setLength(qMax(0.0, line.length() - width * 2));
    p.drawLine(shaft);
    arrowHead(p, b, -line.angle(), width * 4, colour);
}

// The fire mark: a bullet with speed lines.
void fireMark(QPainter &p, const QPointF &c, qreal s, const QColor &colour)
{
    smooth(p);
    p.save();
    p.translate(c);
    QPainterPath bullet;
    bullet.moveTo(-s * 0.35, -s * 0.22);
    bullet.lineTo(s * 0.15, -s * 0.22);
    bullet.quadTo(s * 0.55, -s * 0.22, s * 0.6, 0);
    bullet.quadTo(s * 0.55, s * 0.22, s * 0.15, s * 0.22);
    bullet.lineTo(-s * 0.35, s * 0.22);
    bullet.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawPath(bullet);
    p.setPen(QPen(colour, qMax(1.2, s * 0.08), Qt::SolidLine, Qt::RoundCap));
    for (int i = -1; i <= 1; ++i)
        p.drawLine(QPointF(-s * 0.85, i * s * 0.2), QPointF(-s * 0.5, i * s * 0.2));
    p.restore();
}

// The aim mark: a ring with cross hairs.
void aimMark(QPainter &p, const QPointF &c, qreal s, const QColor &colour)
{
    smooth(p);
    p.setBrush(Qt::NoBrush);
    const qreal pen = qMax(1.2, s * 0.08);
    p.setPen(QPen(colour, pen, Qt::SolidLine, Qt::RoundCap));
    p.drawEllipse(c, s * 0.5, s * 0.5);
    p.drawLine(QPointF(c.x() - s * 0.75, c.y()), QPointF(c.x() - s * 0.22, c.y()));
    p.drawLine(QPointF(c.x() + s * 0.22, c.y()), QPointF(c.x() + s * 0.75, c.y()));
    p.drawLine(QPointF(c.x(), c.y() - s * 0.75), QPointF(c.x(), c.y() - s * 0.22));
    p.drawLine(QPointF(c.x(), c.y() + s * 0.22), QPointF(c.x(), c.y() + s * 0.75));
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawEllipse(c, pen, pen);
}

// Four chevrons round a centre (direction pad, slide).
void fourWays(QPainter &p, const QPointF &c, qreal reach, qreal size, const QColor &colour)
{
    for (int i = 0; i < 4; ++i) {
        const qreal angle = i * 90.0;
        const QPointF tip(c.x() + reach * qCos(qDegreesToRadians(angle)),
                          c.y() - reach * qSin(qDegreesToRadians(angle)));
        arrowHead(p, tip, -angle, size, colour);
    }
}

// A phone outline, tilted by angle degrees, with motion arcs either side when moving.
void phone(QPainter &p, const QPointF &c, qreal h, qreal angle, const QColor &colour, bool moving)
{
    smooth(p);
    p.save();
    p.translate(c);
    p.rotate(angle);
    const qreal w = h * 0.55;
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(colour, qMax(1.3, h * 0.08)));
    p.drawRoundedRect(QRectF(-w / 2, -h / 2, w, h), w * 0.18, w * 0.18);
    p.setPen(QPen(colour, qMax(1.0, h * 0.06), Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(-w * 0.15, h * 0.36), QPointF(w * 0.15, h * 0.36));
    p.restore();
    if (moving) {
        p.setPen(QPen(colour, qMax(1.2, h * 0.07), Qt::SolidLine, Qt::RoundCap));
        p.setBrush(Qt::NoBrush);
        const QRectF outer(c.x() - h * 0.75, c.y() - h * 0.55, h * 1.5, h * 1.1);
        p.drawArc(outer, 150 * 16, 60 * 16);
        p.drawArc(outer, -30 * 16, 60 * 16);
    }
}

// A slide arrow: a dome on the control's outer side with a chevron pointing that way; the four domes
// of the slide control meet round its key field without covering each other.
QImage slideArrow(int w, int h, int direction, bool chosen) // direction: 0 right, 1 up, 2 left, 3 down
{
    QImage image = blank(w, h);
    QPainter p(&image);
    smooth(p);
    // Drawn as the upward dome and turned into place.
    const bool across = direction == 0 || direction == 2;
    const qreal dw = across ? h : w, dh = across ? w : h;
    p.translate(w / 2.0, h / 2.0);
    p.rotate(90.0 - direction * 90.0);
    p.translate(-dw / 2.0, -dh / 2.0);
    QPainterPath dome;
    const QRectF oval(3, 3, dw - 6, (dh - 6) * 2);
    dome.moveTo(oval.left(), dh - 3);
    dome.arcTo(oval, 180, -180);
    dome.closeSubpath();
    QLinearGradient g(0, 0, 0, dh);
    g.setColorAt(0, QColor(0x4a, 0x50, 0x5c, 200));
    g.setColorAt(1, QColor(0x22, 0x25, 0x2c, 150));
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawPath(dome);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(chosen ? kBlue : alpha(Qt::white, 170), chosen ? 2.2 : 1.5));
    p.drawArc(oval, 0, 180 * 16);
    const qreal s = qMin(dw, dh) * 0.42;
    arrowHead(p, QPointF(dw / 2.0, dh * 0.22), -90, s, chosen ? kBlue.lighter(130) : QColor(Qt::white));
    return image;
}

// A key field of the direction pad: a cap with a notch pointing outward.
QImage keyInput(int w, int h, int direction, bool chosen) // 0 right, 1 up, 2 left, 3 down
{
    QImage image = blank(w, h);
    QPainter p(&image);
    smooth(p);
    QRectF cap(1, 1, w - 2, h - 2);
    const qreal notch = 7;
    QPointF tip;
    switch (direction) {
    case 0:
        cap.setLeft(notch);
        tip = QPointF(1, h / 2.0);
        break;
    case 1:
        cap.setBottom(h - notch);
        tip = QPointF(w / 2.0, h - 1);
        break;
    case 2:
        cap.setRight(w - notch);
        tip = QPointF(w - 1, h / 2.0);
        break;
    default:
        cap.setTop(notch);
        tip = QPointF(w / 2.0, 1);
        break;
    }
    // The notch points to the pad's centre, the side it is joined to.
    const QColor rim = chosen ? kBlue : alpha(Qt::white, 200);
    const qreal angle = direction * 90.0 + 180.0;
    arrowHead(p, tip, -angle, notch + 1, rim);
    keyCap(p, cap, chosen, QString(), 5);
    return image;
}

// A QR-like code drawn from a name: finder squares in three corners and modules chosen by hash.
QImage codeSquare(int w, int h, const QString &seed)
{
    QImage image = blank(w, h);
    QPainter p(&image);
    p.fillRect(image.rect(), Qt::white);
    const int modules = 25;
    const qreal m = (qMin(w, h) - 16) / qreal(modules);
    const QPointF o((w - m * modules) / 2.0, (h - m * modules) / 2.0);
    QByteArray bits;
    for (int i = 0; bits.size() < modules * modules; ++i)
        bits += QCryptographicHash::hash((seed + QString::number(i)).toUtf8(), QCryptographicHash::Sha256);
    auto finder = [&](int x, int y) {
        return x >= 0 && y >= 0 && x < 7 && y < 7 &&
               (x == 0 || y == 0 || x == 6 || y == 6 || (x >= 2 && x <= 4 && y >= 2 && y <= 4));
    };
    for (int y = 0; y < modules; ++y)
        for (int x = 0; x < modules; ++x) {
            const bool inCorner =
                (x < 8 && y < 8) || (x >= modules - 8 && y < 8) || (x < 8 && y >= modules - 8);
            bool dark;
            if (inCorner)
                dark = finder(x, y) || finder(x - (modules - 7), y) || finder(x, y - (modules - 7));
            else
                dark = (quint8(bits[y * modules + x]) & 1) != 0;
            if (dark)
                p.fillRect(QRectF(o.x() + x * m, o.y() + y * m, m + 0.01, m + 0.01), Qt::black);
        }
    return image;
}

// A dark rounded panel (backgrounds of pop-ups).
QImage panel(int w, int h, qreal radius)
{
    QImage image = blank(w, h);
    QPainter p(&image);
    smooth(p);
    // One fill colour: the panel is stretched to its pop-up's size and keeps that colour.
    roundPanel(p, QRectF(0.5, 0.5, w - 1, h - 1), radius, kPanel, kPanel, kLine);
    p.setPen(QPen(alpha(Qt::white, 40), 1));
    p.drawLine(QPointF(radius, 1.5), QPointF(w - radius, 1.5));
    return image;
}

// ---- The tutorial's pages: a screen, the controls laid on it, arrows saying what they do. ----

const int kPageW = 640, kPageH = 400;

QImage tutorialBase(QPainter &p, QImage &image, const QColor &sky, const QColor &ground)
{
    smooth(p);
    p.fillRect(image.rect(), QColor(0x2b, 0x2f, 0x37));
    // The Android screen, landscape, a game's scene on it.
    const QRectF screen(40, 30, 560, 315);
    QLinearGradient g(screen.topLeft(), screen.bottomLeft());
    g.setColorAt(0, sky);
    g.setColorAt(0.62, sky.darker(140));
    g.setColorAt(0.63, ground);
    g.setColorAt(1, ground.darker(150));
    p.setPen(QPen(QColor(0x11, 0x15, 0x18), 6));
    p.setBrush(g);
    p.drawRoundedRect(screen, 14, 14);
    // Hills and a figure.
    p.setPen(Qt::NoPen);
    p.setBrush(alpha(ground.lighter(120), 160));
    QPainterPath hills;
    hills.moveTo(screen.left() + 3, screen.top() + 200);
    hills.cubicTo(150, 150, 230, 230, 330, 185);
    hills.cubicTo(420, 145, 500, 210, screen.right() - 3, 175);
    hills.lineTo(screen.right() - 3, screen.top() + 200);
    hills.closeSubpath();
    p.drawPath(hills);
    // The key-map bar, below the screen.
    p.setBrush(QColor(0x3a, 0x3f, 0x49));
    p.setPen(QPen(kLine, 1));
    p.drawRoundedRect(QRectF(40, 355, 560, 36), 6, 6);
    return image;
}

void figure(QPainter &p, const QPointF &at, const QColor &colour)
{
    p.setPen(QPen(colour, 5, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(colour);
    p.drawEllipse(QPointF(at.x(), at.y() - 34), 9, 9);
    p.drawLine(QPointF(at.x(), at.y() - 24), QPointF(at.x(), at.y()));
    p.drawLine(QPointF(at.x(), at.y() - 18), QPointF(at.x() - 12, at.y() - 6));
    p.drawLine(QPointF(at.x(), at.y() - 18), QPointF(at.x() + 12, at.y() - 6));
    p.drawLine(QPointF(at.x(), at.y()), QPointF(at.x() - 9, at.y() + 18));
    p.drawLine(QPointF(at.x(), at.y()), QPointF(at.x() + 9, at.y() + 18));
}

// Palette marks on the bar under the screen: one per kind, the page's own kind lit.
void barMarks(QPainter &p, int lit)
{
    for (int i = 0; i < 6; ++i) {
        const QPointF c(70 + i * 44, 373);
        const QColor colour = i == lit ? kBlue.lighter(130) : kIcon;
        if (i == lit) {
            p.setPen(Qt::NoPen);
            p.setBrush(alpha(kBlue, 70));
            p.drawRoundedRect(QRectF(c.x() - 17, c.y() - 15, 34, 30), 5, 5);
        }
        switch (i) {
        case 0:
            fireMark(p, c, 20, colour);
            break;
        case 1:
            aimMark(p, c, 18, colour);
            break;
        case 2:
            keyCap(p, QRectF(c.x() - 10, c.y() - 10, 20, 20), i == lit, QStringLiteral("A"), 4);
            break;
        case 3:
            p.setPen(QPen(colour, 2));
            p.setBrush(Qt::NoBrush);
            p.drawEllipse(c, 10, 10);
            fourWays(p, c, 8, 5, colour);
            break;
        case 4:
            phone(p, c, 20, 20, colour, true);
            break;
        default:
            fourWays(p, c, 11, 6, colour);
            break;
        }
    }
    // Save, on the bar's right.
    p.setPen(Qt::NoPen);
    p.setBrush(kBlue);
    p.drawRoundedRect(QRectF(520, 362, 66, 22), 4, 4);
    p.setPen(Qt::white);
    p.setFont(font(12));
    p.drawText(QRectF(520, 362, 66, 22), Qt::AlignCenter, QStringLiteral("\u2713"));
}

QImage tutorialPage(const QString &page)
{
    QImage image = blank(kPageW, kPageH);
    QPainter p(&image);
    if (page == QLatin1String("directionControlHandle")) {
        tutorialBase(p, image, QColor(0x5d, 0x9c, 0xd8), QColor(0x4f, 0x8a, 0x3c));
        figure(p, QPointF(370, 220), QColor(0xff, 0xe0, 0x82));
        // The pad with its four keys on the screen's left; the figure walks the way the key says.
        disc(p, QPointF(160, 240), 62, false);
        fourWays(p, QPointF(160, 240), 40, 12, alpha(Qt::white, 200));
        keyCap(p, QRectF(142, 156, 36, 32), false, QStringLiteral("W"));
        keyCap(p, QRectF(142, 292, 36, 32), false, QStringLiteral("S"));
        keyCap(p, QRectF(76, 224, 36, 32), false, QStringLiteral("A"));
        keyCap(p, QRectF(208, 224, 36, 32), true, QStringLiteral("D"));
        arrow(p, QPointF(395, 205), QPointF(470, 205), Qt::white, 4);
        barMarks(p, 3);
    } else if (page == QLatin1String("click")) {
        tutorialBase(p, image, QColor(0x7a, 0x6a, 0xc8), QColor(0x3e, 0x4b, 0x8a));
        // Two of the game's buttons, each with a key laid on it; a press taps the button.
        for (int i = 0; i < 2; ++i) {
            const QPointF c(430 + i * 90, 250 - i * 60);
            p.setPen(QPen(alpha(Qt::white, 220), 3));
            p.setBrush(alpha(Qt::white, 60));
            p.drawEllipse(c, 34, 34);
            p.setPen(QPen(alpha(Qt::white, 120), 2));
            p.setBrush(Qt::NoBrush);
            p.drawEllipse(c, 46, 46);
            keyCap(p, QRectF(c.x() - 22, c.y() - 20, 44, 40), i == 0,
                   i == 0 ? QStringLiteral("J") : QStringLiteral("K"));
        }
        // A key on the keyboard and the tap it makes.
        keyCap(p, QRectF(90, 170, 90, 80), true, QStringLiteral("J"), 10);
        arrow(p, QPointF(190, 210), QPointF(380, 245), Qt::white, 4);
        barMarks(p, 2);
    } else if (page == QLatin1String("slide")) {
        tutorialBase(p, image, QColor(0xe0, 0x8d, 0x4a), QColor(0x8a, 0x4f, 0x2c));
        // A swipe: the finger's path across the screen and the arrows with their keys.
        QPainterPath swipe;
        swipe.moveTo(150, 260);
        swipe.cubicTo(250, 140, 380, 140, 500, 210);
        p.setPen(QPen(alpha(Qt::white, 230), 6, Qt::DashLine, Qt::RoundCap));
        p.setBrush(Qt::NoBrush);
        p.drawPath(swipe);
        arrowHead(p, QPointF(505, 213), 30, 22, Qt::white);
        p.setPen(Qt::NoPen);
        p.setBrush(alpha(Qt::white, 160));
        p.drawEllipse(QPointF(150, 260), 14, 14);
        const QPointF c(320, 250);
        fourWays(p, c, 55, 18, alpha(Qt::white, 220));
        keyCap(p, QRectF(c.x() - 20, c.y() - 20, 40, 40), true, QStringLiteral("\u2191"));
        barMarks(p, 5);
    } else if (page == QLatin1String("gravitySensor")) {
        tutorialBase(p, image, QColor(0x4a, 0xb0, 0xb8), QColor(0x2c, 0x6e, 0x7a));
        // The phone tilts as the keys say: left and right lean it, the arcs show the turn.
        phone(p, QPointF(320, 190), 170, -18, Qt::white, false);
        p.setPen(QPen(Qt::white, 4, Qt::SolidLine, Qt::RoundCap));
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(190, 70, 260, 260), 120 * 16, 40 * 16);
        p.drawArc(QRectF(190, 70, 260, 260), 20 * 16, 40 * 16);
        arrowHead(p, QPointF(206, 131), 130, 16, Qt::white);
        arrowHead(p, QPointF(434, 131), 50, 16, Qt::white);
        keyCap(p, QRectF(110, 200, 52, 48), true, QStringLiteral("Q"));
        keyCap(p, QRectF(478, 200, 52, 48), false, QStringLiteral("E"));
        barMarks(p, 4);
    } else if (page == QLatin1String("aboutShootingGame")) {
        tutorialBase(p, image, QColor(0x6b, 0x74, 0x80), QColor(0x4a, 0x45, 0x3c));
        // The mouse aims (cross hair follows it) and its left button fires.
        aimMark(p, QPointF(330, 160), 70, QColor(0xff, 0x5a, 0x4a));
        QRectF mouse(110, 170, 70, 104);
        p.setPen(QPen(Qt::white, 4));
        p.setBrush(alpha(Qt::black, 60));
        p.drawRoundedRect(mouse, 35, 35);
        p.drawLine(QPointF(145, 172), QPointF(145, 212));
        p.drawLine(QPointF(112, 212), QPointF(178, 212));
        p.setPen(Qt::NoPen);
        p.setBrush(kRed);
        QPainterPath leftButton;
        leftButton.moveTo(143, 174);
        leftButton.lineTo(143, 210);
        leftButton.lineTo(114, 210);
        leftButton.cubicTo(114, 188, 125, 174, 143, 174);
        p.drawPath(leftButton);
        arrow(p, QPointF(190, 200), QPointF(280, 170), Qt::white, 4);
        // The fire button on the screen's right.
        disc(p, QPointF(500, 250), 40, true);
        fireMark(p, QPointF(505, 250), 46, Qt::white);
        barMarks(p, 1);
    } else {
        // Setting the map: drag a kind from the bar onto the screen, give it a key, save.
        tutorialBase(p, image, QColor(0x5a, 0x6c, 0x8c), QColor(0x3a, 0x48, 0x62));
        p.setPen(QPen(alpha(Qt::white, 220), 3, Qt::DashLine, Qt::RoundCap));
        p.setBrush(Qt::NoBrush);
        QPainterPath drag;
        drag.moveTo(158, 360);
        drag.cubicTo(170, 280, 260, 220, 370, 200);
        p.drawPath(drag);
        arrowHead(p, QPointF(372, 200), -10, 18, Qt::white);
        keyCap(p, QRectF(385, 170, 60, 56), true, QStringLiteral("F"));
        // The pointer dragging.
        QPainterPath pointer;
        pointer.moveTo(440, 215);
        pointer.lineTo(440, 250);
        pointer.lineTo(449, 242);
        pointer.lineTo(456, 257);
        pointer.lineTo(462, 254);
        pointer.lineTo(455, 239);
        pointer.lineTo(467, 238);
        pointer.closeSubpath();
        p.setPen(QPen(Qt::black, 1.5));
        p.setBrush(Qt::white);
        p.drawPath(pointer);
        barMarks(p, 2);
        // The save button lit.
        p.setPen(QPen(Qt::white, 3));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(QRectF(516, 358, 74, 30), 6, 6);
    }
    return image;
}

// ---- The key-map editor's and overlay's pictures. ----

QImage keymapPicture(const QString &name, int w, int h)
{
    const bool over = name.endsWith(QLatin1String("_over")) || name == QLatin1String("keyboardClose_down");
    QString base = name;
    if (over)
        base.chop(5);
    QImage image = blank(w, h);
    QPainter p(&image);
    smooth(p);
    const QPointF c(w / 2.0, h / 2.0);
    const QColor mark = over ? kBlue.lighter(140) : Qt::white;
    if (base == QLatin1String("key_close")) {
        p.setPen(Qt::NoPen);
        p.setBrush(over ? kRed : QColor(0x30, 0x33, 0x3b, 230));
        p.drawEllipse(QRectF(0.5, 0.5, w - 1, h - 1));
        p.setPen(QPen(Qt::white, 1.6, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(w * 0.32, h * 0.32), QPointF(w * 0.68, h * 0.68));
        p.drawLine(QPointF(w * 0.68, h * 0.32), QPointF(w * 0.32, h * 0.68));
    } else if (base == QLatin1String("key_operate_fire")) {
        disc(p, c, w / 2.0 - 2, over);
        p.setPen(QPen(alpha(mark, 110), 1.2, Qt::DashLine));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(c, w / 2.0 - 9, w / 2.0 - 9);
        fireMark(p, c, w * 0.42, mark);
    } else if (base == QLatin1String("key_operate_aim")) {
        disc(p, c, w / 2.0 - 2, over);
        aimMark(p, c, w * 0.55, mark);
    } else if (base == QLatin1String("key_operate_key")) {
        keyCap(p, QRectF(1, 1, w - 2, h - 2), over);
    } else if (base.startsWith(QLatin1String("key_operate_slide_"))) {
        const QString way = base.mid(int(qstrlen("key_operate_slide_")));
        if (way == QLatin1String("input")) {
            p.end();
            image = blank(w, h);
            QPainter q(&image);
            disc(q, c, w / 2.0 - 2, false);
            q.setPen(QPen(alpha(Qt::white, 90), 1));
            q.setBrush(Qt::NoBrush);
            q.drawEllipse(c, w / 2.0 - 8, w / 2.0 - 8);
            return image;
        }
        const int direction = way == QLatin1String("right")  ? 0
                              : way == QLatin1String("up")   ? 1
                              : way == QLatin1String("left") ? 2
                                                             : 3;
        p.end();
        return slideArrow(w, h, direction, over);
    } else if (base == QLatin1String("key_operate_slide")) {
        // The slide control as a whole, for dragging from the palette: the four arrows round the field.
        const QImage right = slideArrow(56, 114, 0, false), left = slideArrow(56, 114, 2, false);
        const QImage up = slideArrow(115, 56, 1, false), down = slideArrow(115, 56, 3, false);
        p.drawImage(107, 35, right);
        p.drawImage(24, 118, down);
        p.drawImage(24, 11, up);
        p.drawImage(0, 35, left);
        disc(p, QPointF(50 + 31.5, 61 + 31.5), 29.5, true);
    } else if (base == QLatin1String("key_operate_position")) {
        disc(p, c, w / 2.0 - 22, over);
        p.setPen(QPen(alpha(mark, 120), 1.5));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(c, w / 2.0 - 40, w / 2.0 - 40);
        fourWays(p, c, w / 2.0 - 28, 9, mark);
        p.setPen(Qt::NoPen);
        p.setBrush(mark);
        p.drawEllipse(c, 9, 9);
    } else if (base == QLatin1String("key_operate_sensor")) {
        disc(p, c, w / 2.0 - 22, over);
        phone(p, c, h * 0.36, -20, mark, true);
    } else if (base.startsWith(QLatin1String("key_input_"))) {
        const QString way = base.mid(int(qstrlen("key_input_")));
        const int direction = way == QLatin1String("right")  ? 0
                              : way == QLatin1String("top")  ? 1
                              : way == QLatin1String("left") ? 2
                                                             : 3;
        p.end();
        return keyInput(w, h, direction, over);
    } else if (base.startsWith(QLatin1String("key_title_"))) {
        // The palette's kinds on the editor's bar.
        const QString kind = base.mid(int(qstrlen("key_title_")));
        if (over) {
            p.setPen(Qt::NoPen);
            p.setBrush(alpha(kBlue, 80));
            p.drawRoundedRect(QRectF(0.5, 0.5, w - 1, h - 1), 5, 5);
        }
        const QColor colour = over ? Qt::white : kIcon;
        if (kind == QLatin1String("fire"))
            fireMark(p, c, w * 0.62, colour);
        else if (kind == QLatin1String("aim"))
            aimMark(p, c, w * 0.52, colour);
        else if (kind == QLatin1String("key"))
            keyCap(p, QRectF(6, 6, w - 12, h - 12), over, QStringLiteral("A"), 4);
        else if (kind == QLatin1String("position")) {
            p.setPen(QPen(colour, 1.8));
            p.setBrush(Qt::NoBrush);
            p.drawEllipse(c, w * 0.36, w * 0.36);
            fourWays(p, c, w * 0.27, 6, colour);
        } else if (kind == QLatin1String("sensor"))
            phone(p, c, h * 0.56, -20, colour, true);
        else
            fourWays(p, c, w * 0.38, 8, colour);
    } else if (base == QLatin1String("keyboard_help")) {
        p.end();
        return iconPicture(w, h, QStringLiteral("dialog-question"), over ? kIconHover : kIcon, 16);
    } else if (base == QLatin1String("keyboardClose")) {
        if (over) {
            p.setPen(Qt::NoPen);
            p.setBrush(kRed);
            p.drawRect(image.rect());
        }
        symbol(p, QStringLiteral("window-close"), QRectF((w - 20) / 2.0, (h - 20) / 2.0, 20, 20),
               over ? kIconHover : kIcon);
    } else if (base == QLatin1String("keyctrl_on") || base == QLatin1String("keyctrl_off")) {
        const bool on = base == QLatin1String("keyctrl_on");
        QRadialGradient g(c, w / 2.0);
        g.setColorAt(0, on ? kGreen.lighter(125) : QColor(0x6a, 0x6f, 0x7a));
        g.setColorAt(1, on ? kGreen.darker(120) : QColor(0x3a, 0x3e, 0x46));
        p.setPen(QPen(on ? kGreen.lighter(150) : QColor(0x8a, 0x8f, 0x9a), 2));
        p.setBrush(g);
        p.drawEllipse(c, w / 2.0 - 1.5, h / 2.0 - 1.5);
        symbol(p, QStringLiteral("input-keyboard"), QRectF(c.x() - 15, c.y() - 15, 30, 30),
               on ? QColor(Qt::white) : QColor(0xa0, 0xa4, 0xad));
        if (!on) {
            p.setPen(QPen(QColor(0x3a, 0x3e, 0x46), 7, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(QPointF(w * 0.24, h * 0.24), QPointF(w * 0.76, h * 0.76));
            p.setPen(QPen(kRed, 3.5, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(QPointF(w * 0.24, h * 0.24), QPointF(w * 0.76, h * 0.76));
        }
    } else if (name.startsWith(QLatin1String("fun_dialog_return"))) {
        p.end();
        return chevron(w, h, name.endsWith(QLatin1String("_hover")) ? kIconHover : kIcon);
    } else {
        return QImage();
    }
    return image;
}

QImage titleIcon(const QString &name, int w, int h)
{
    QString base = name;
    const bool hover = base.endsWith(QLatin1String("_hover"));
    if (hover)
        base.chop(6);
    const QColor colour = hover ? kIconHover : kIcon;
    static const QHash<QString, QString> icons{
        {"title_more", "open-menu"},
        {"title_setting", "emblem-system"},
        {"title_systemInfo", "help-about"},
    };
    if (base == QLatin1String("title_min")) {
        // Minimise: a bar across the lower middle, on whole pixels.
        QImage image = blank(w, h);
        QPainter p(&image);
        p.fillRect(QRect(5, 12, w - 10, 2), colour);
        return image;
    }
    if (base == QLatin1String("title_max") || base == QLatin1String("title_small")) {
        // Maximise: one window's frame; restore: two frames, one behind the other.
        QImage image = blank(w, h);
        QPainter p(&image);
        p.setPen(QPen(colour, 1));
        p.setBrush(Qt::NoBrush);
        if (base == QLatin1String("title_max")) {
            p.drawRect(QRect(4, 4, 11, 11));
            p.fillRect(QRect(4, 4, 12, 2), colour);
        } else {
            p.drawPolyline(QPolygon(
                QVector<QPoint>{QPoint(8, 6), QPoint(8, 3), QPoint(16, 3), QPoint(16, 11), QPoint(13, 11)}));
            p.fillRect(QRect(8, 3, 9, 2), colour);
            p.drawRect(QRect(3, 8, 9, 9));
            p.fillRect(QRect(3, 8, 10, 2), colour);
        }
        return image;
    }
    if (base == QLatin1String("title_vt_graphics")) {
        // Check the environment again: the computer with a tick.
        QImage image = iconPicture(w, h, QStringLiteral("computer"), colour, 16);
        QPainter p(&image);
        smooth(p);
        const QPolygonF tick(QVector<QPointF>{QPointF(10.5, 14.5), QPointF(13.5, 17.5), QPointF(18.5, 11.5)});
        p.setPen(QPen(QColor(0x34, 0x38, 0x41), 4.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPolyline(tick);
        p.setPen(QPen(kGreen, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPolyline(tick);
        return image;
    }
    if (base == QLatin1String("title_top") || base == QLatin1String("title_not_top")) {
        // Kept on top: the pin stands upright in the accent colour; not kept: it lies tilted, grey.
        const bool top = base == QLatin1String("title_top");
        QImage image = blank(w, h);
        QPainter p(&image);
        smooth(p);
        p.translate(w / 2.0, h / 2.0);
        p.rotate(top ? 0 : 45);
        symbol(p, QStringLiteral("view-pin"), QRectF(-8, -8, 16, 16),
               top ? (hover ? kBlue.lighter(140) : kBlue.lighter(115)) : colour);
        return image;
    }
    if (!icons.contains(base))
        return QImage();
    return iconPicture(w, h, icons.value(base), colour, 16);
}

QImage menuIcon(const QString &name, int w, int h)
{
    static const QHash<QString, QString> icons{
        {"menu_full", "view-fullscreen"},
        {"menu_keyboard_off", "input-keyboard"},
        {"menu_keyboard_on", "input-keyboard"},
        {"menu_install_apk", "package-x-generic"},
        {"menu_script_off", "media-record"},
        {"menu_script_on", "media-playback-stop"},
        {"menu_multi_player", "view-dual"},
        {"menu_virtual_location", "mark-location"},
        {"menu_screenshot", "camera-photo"},
        {"menu_share", "folder-publicshare"},
        {"menu_voice", "audio-volume-high"},
        {"menu_return", "go-previous"},
        {"menu_home", "go-home"},
        {"menu_task", "focus-windows"},
    };
    if (name == QLatin1String("menu_shake")) {
        // Shake: an upright phone on whole pixels with motion arcs either side.
        QImage image = blank(w, h);
        QPainter p(&image);
        const QRect body(w / 2 - 4, 3, 8, h - 6);
        p.fillRect(body, kIcon);
        p.setCompositionMode(QPainter::CompositionMode_Source);
        p.fillRect(body.adjusted(2, 2, -2, -4), Qt::transparent);
        p.setCompositionMode(QPainter::CompositionMode_SourceOver);
        smooth(p);
        p.setPen(QPen(kIcon, 1.5, Qt::SolidLine, Qt::RoundCap));
        p.setBrush(Qt::NoBrush);
        const QRectF outer(1.5, 4, w - 3, h - 8);
        p.drawArc(outer, 150 * 16, 60 * 16);
        p.drawArc(outer, -30 * 16, 60 * 16);
        return image;
    }
    if (name == QLatin1String("menu_keyboard_on")) {
        // Key mapping on: the keyboard lit in the accent colour with a dot of green.
        QImage image = iconPicture(w, h, icons.value(name), kBlue.lighter(125), 16);
        QPainter p(&image);
        smooth(p);
        p.setPen(QPen(QColor(0x2e, 0x32, 0x3b), 1.5));
        p.setBrush(kGreen);
        p.drawEllipse(QPointF(w - 4.5, 4.5), 3.8, 3.8);
        return image;
    }
    if (name == QLatin1String("menu_script_on"))
        return iconPicture(w, h, icons.value(name), kRed, 16);
    if (!icons.contains(name))
        return QImage();
    return iconPicture(w, h, icons.value(name), kIcon, 16);
}

// The instance manager's buttons and their hover, pressed and disabled forms.
QImage managerPicture(const QString &name, int w, int h)
{
    static const char *const kVariants[] = {"Disabled", "Pressed", "Hover"};
    QString base = name;
    QString variant;
    for (const char *v : kVariants)
        if (base.endsWith(QLatin1String(v))) {
            variant = QLatin1String(v);
            base.chop(int(qstrlen(v)));
            break;
        }
    const QColor colour = variant == QLatin1String("Hover")      ? kIconHover
                          : variant == QLatin1String("Pressed")  ? kIconPressed
                          : variant == QLatin1String("Disabled") ? kIconDisabled
                                                                 : kIcon;
    static const QHash<QString, QString> icons{
        {"editBtn", "document-edit"}, {"backupOrRestoreBtn", "document-save"},
        {"delBtn", "user-trash"},     {"shortcutBtn", "go-jump"},

        {"comboArrow", "pan-down"},
    };
    if (base == QLatin1String("btnstart") || base == QLatin1String("closePlayerBtn")) {
        const bool start = base == QLatin1String("btnstart");
        QColor face = start ? kGreen : kRed;
        if (variant == QLatin1String("Hover"))
            face = face.lighter(115);
        else if (variant == QLatin1String("Pressed"))
            face = face.darker(125);
        else if (variant == QLatin1String("Disabled"))
            face = QColor(0x55, 0x59, 0x62);
        // The list draws the button's word ("start", "close") over its face.
        return buttonFace(w, h, face);
    }
    if (base == QLatin1String("bottomBtn") || base == QLatin1String("ok")) {
        QColor face = kBlue;
        if (variant == QLatin1String("Hover"))
            face = face.lighter(115);
        else if (variant == QLatin1String("Pressed"))
            face = face.darker(125);
        return buttonFace(w, h, face);
    }
    if (base == QLatin1String("logo"))
        return logo(w, h);
    if (base == QLatin1String("return"))
        return chevron(w, h, kIcon);
    if (base.startsWith(QLatin1String("progressBar"))) {
        // Four frames of a striped bar whose stripes move a quarter of their period each frame.
        const int frame = base.right(1).toInt() - 1;
        QImage image = blank(w, h);
        QPainter p(&image);
        smooth(p);
        QPainterPath track;
        track.addRoundedRect(QRectF(0, 0, w, h), h / 2.0, h / 2.0);
        p.setClipPath(track);
        p.fillRect(image.rect(), kBlue);
        p.setPen(Qt::NoPen);
        p.setBrush(kBlue.lighter(135));
        const qreal period = 20;
        for (qreal x = -period * 2 + frame * period / 4; x < w + period; x += period) {
            QPolygonF stripe;
            stripe << QPointF(x, h) << QPointF(x + h, 0) << QPointF(x + h + period / 2, 0)
                   << QPointF(x + period / 2, h);
            p.drawPolygon(stripe);
        }
        return image;
    }
    if (base.startsWith(QLatin1String("checkbox_"))) {
        const bool checked = base.startsWith(QLatin1String("checkbox_checked"));
        const bool hover = base.endsWith(QLatin1String("_hover"));
        const bool pressed = base.endsWith(QLatin1String("_pressed"));
        const QColor edge = hover ? kBlue.lighter(130) : pressed ? kBlue.darker(120) : kIcon;
        return checkBox(w, h, checked, false, checked ? kBlue : edge,
                        pressed ? kBlue.darker(120)
                        : hover ? kBlue.lighter(115)
                                : kBlue,
                        Qt::white);
    }
    // The window's own buttons: bold marks through their middle, which the style sheet may scale.
    if (base == QLatin1String("btn_close") || base == QLatin1String("close"))
        return cross(w, h, colour, 2.5, 3.5);
    if (base == QLatin1String("min")) {
        QImage image = blank(w, h);
        QPainter p(&image);
        p.fillRect(QRect(3, h / 2 - 1, w - 6, 3), colour);
        return image;
    }
    if (!icons.contains(base))
        return QImage();
    // At the icons' own 16 pixels where the control has room: crisp, no scaling.
    return iconPicture(w, h, icons.value(base), colour, qMin(16, qMin(w, h)));
}

// The window shell's other pictures, the checks' and the start-up's.
QImage otherPicture(const QString &name, int w, int h)
{
    const QPointF c(w / 2.0, h / 2.0);
    if (name == QLatin1String("logo") || name == QLatin1String("icon") ||
        name == QLatin1String("dialog_logo") || name == QLatin1String("setting_about_icon") ||
        name == QLatin1String("Orv_ICON"))
        return logo(w, h);
    // Close buttons: a bold cross (the notice's in white on its blue card, shown scaled to 16 pixels).
    if (name == QLatin1String("vt_close"))
        return cross(w, h, Qt::white, 3, 4);
    if (name == QLatin1String("dialog_close") || name == QLatin1String("btn_close"))
        return cross(w, h, kIcon, 2.5, 3);
    if (name == QLatin1String("dialog_close_hover"))
        return cross(w, h, kIconHover, 2.5, 3);
    if (name == QLatin1String("title_close") || name == QLatin1String("title_close_hover"))
        return iconPicture(w, h, QStringLiteral("window-close"),
                           name.endsWith(QLatin1String("_hover")) ? kIconHover : kIcon, 16);
    if (name == QLatin1String("btn_install_small"))
        return buttonFace(w, h, kBlue);
    if (name == QLatin1String("radio_uncheck") || name == QLatin1String("radio_uncheck_hover") ||
        name == QLatin1String("radio_check") || name == QLatin1String("radio_check_hover")) {
        const bool checked = name.startsWith(QLatin1String("radio_check"));
        const bool hover = name.endsWith(QLatin1String("_hover"));
        return checkBox(w, h, checked, true, checked || hover ? kBlue.lighter(hover ? 130 : 100) : kIcon,
                        alpha(kBlue, 60), hover ? kBlue.lighter(130) : kBlue);
    }
    if (name == QLatin1String("blue_check_off") || name == QLatin1String("ec_checkbox_unchecked."))
        return checkBox(w, h, false, false, kIcon, kBlue, Qt::white);
    if (name == QLatin1String("blue_check_on") || name == QLatin1String("ec_checkbox_checked."))
        return checkBox(w, h, true, false, kBlue, kBlue, Qt::white);
    if (name == QLatin1String("ec_checkbox_unchecked"))
        return checkBox(w, h, false, false, kIcon, kBlue, Qt::white);
    if (name == QLatin1String("white_check_off"))
        return checkBox(w, h, false, false, Qt::white, Qt::white, kBlue);
    if (name == QLatin1String("white_check_on"))
        return checkBox(w, h, true, false, Qt::white, Qt::white, kBlue);
    if (name == QLatin1String("ec_passed_status"))
        return iconPicture(w, h, QStringLiteral("emblem-ok"), kGreen, qMin(w, h));
    if (name == QLatin1String("ec_not_passed_status"))
        return iconPicture(w, h, QStringLiteral("dialog-warning"), kOrange, qMin(w, h));
    if (name == QLatin1String("ec_go_handle"))
        return chevron(w, h, kIcon, false);
    if (name == QLatin1String("ec_required_items"))
        return iconPicture(w, h, QStringLiteral("security-high"), kBlue.lighter(120), qMin(w, h));
    if (name == QLatin1String("ec_optional_items"))
        return iconPicture(w, h, QStringLiteral("view-list-bullet"), kIcon, qMin(w, h));
    if (name == QLatin1String("vt_exclamation"))
        return iconPicture(w, h, QStringLiteral("dialog-warning"), kOrange, qMin(w, h));
    if (name == QLatin1String("prompt"))
        return iconPicture(w, h, QStringLiteral("help-about"), kBlue.lighter(120), qMin(w, h) - 2);
    if (name == QLatin1String("vt_info_bg")) {
        // The virtualisation notice: a rounded deep-blue card, a computer faintly above the texts.
        QImage image = blank(w, h);
        QPainter p(&image);
        smooth(p);
        roundPanel(p, QRectF(0.5, 0.5, w - 1, h - 1), 10, QColor(0x0d, 0x3a, 0x6e), QColor(0x06, 0x1a, 0x36),
                   QColor(0x2a, 0x6a, 0xb0));
        symbol(p, QStringLiteral("computer"), QRectF((w - 170) / 2.0, 90, 170, 170),
               alpha(QColor(0x7d, 0xc4, 0xff), 60));
        return image;
    }
    if (name.startsWith(QLatin1String("init_bg_"))) {
        // The start-up's backgrounds: each a dusk of its own hue with soft circles and the logo's ring.
        const int index = name.right(1).toInt();
        QImage image = blank(w, h);
        QPainter p(&image);
        smooth(p);
        const QColor top = QColor::fromHsv((200 + index * 37) % 360, 170, 150);
        QLinearGradient g(0, 0, w, h);
        g.setColorAt(0, top);
        g.setColorAt(1, top.darker(260));
        p.fillRect(image.rect(), g);
        p.setPen(Qt::NoPen);
        for (int i = 0; i < 6; ++i) {
            const qreal r = 12 + ((i * 7 + index * 5) % 9) * 6;
            p.setBrush(alpha(Qt::white, 18 + i * 4));
            p.drawEllipse(QPointF((i * 61 + index * 29) % w, (i * 43 + index * 17) % h), r, r);
        }
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(alpha(Qt::white, 90), 6));
        p.drawEllipse(c, h * 0.28, h * 0.28);
        return image;
    }
    if (name == QLatin1String("process_text_bg")) {
        // The bubble over the progress bar that shows its percentage: a pointer down to the bar.
        QImage image = blank(w, h);
        QPainter p(&image);
        smooth(p);
        QPainterPath bubble;
        bubble.addRoundedRect(QRectF(0.5, 0.5, w - 1, h - 9), 4, 4);
        QPolygonF pointer;
        pointer << QPointF(w / 2.0 - 6, h - 9) << QPointF(w / 2.0, h - 1) << QPointF(w / 2.0 + 6, h - 9);
        bubble.addPolygon(pointer);
        bubble = bubble.simplified();
        QLinearGradient g(0, 0, 0, h);
        g.setColorAt(0, kBlue.lighter(115));
        g.setColorAt(1, kBlue.darker(115));
        p.setPen(QPen(kBlue.darker(140), 1));
        p.setBrush(g);
        p.drawPath(bubble);
        return image;
    }
    if (name == QLatin1String("menu_script_stop_tip")) {
        // The notice that a script plays: a bubble pointing to the side bar, a stop mark and the play mark.
        QImage image = blank(w, h);
        QPainter p(&image);
        smooth(p);
        QPainterPath bubble;
        bubble.addRoundedRect(QRectF(0.5, 0.5, w - 11, h - 1), 8, 8);
        QPolygonF pointer;
        pointer << QPointF(w - 11, h / 2.0 - 8) << QPointF(w - 1, h / 2.0) << QPointF(w - 11, h / 2.0 + 8);
        bubble.addPolygon(pointer);
        bubble = bubble.simplified();
        QLinearGradient g(0, 0, 0, h);
        g.setColorAt(0, kPanel.lighter(115));
        g.setColorAt(1, kPanel.darker(110));
        p.setPen(QPen(kLine, 1));
        p.setBrush(g);
        p.drawPath(bubble);
        symbol(p, QStringLiteral("media-playback-start"), QRectF(22, h / 2.0 - 14, 28, 28), kGreen);
        p.setPen(QPen(kIcon, 2, Qt::SolidLine, Qt::RoundCap));
        arrowHead(p, QPointF(100, h / 2.0), 0, 14, kIcon);
        p.setPen(QPen(kIcon, 3, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(64, h / 2.0), QPointF(92, h / 2.0));
        symbol(p, QStringLiteral("media-playback-stop"), QRectF(114, h / 2.0 - 14, 28, 28), kRed);
        return image;
    }
    if (name == QLatin1String("popup_menu_background"))
        return panel(w, h, 6);
    if (name == QLatin1String("share_folder_image") || name == QLatin1String("share_folder_other")) {
        QImage image = blank(w, h);
        QPainter p(&image);
        smooth(p);
        roundPanel(p, QRectF(0.5, 0.5, w - 1, h - 1), 8, kPanel.lighter(115), kPanel, kLine);
        symbol(p,
               name == QLatin1String("share_folder_image") ? QStringLiteral("folder-pictures")
                                                           : QStringLiteral("folder"),
               QRectF(c.x() - 22, c.y() - 22, 44, 44), kIcon);
        return image;
    }
    if (name == QLatin1String("share_folder_tip")) {
        // The host's folder and Android's folder joined both ways: a file put in one is seen in the other.
        QImage image = blank(w, h);
        QPainter p(&image);
        smooth(p);
        roundPanel(p, QRectF(0.5, 0.5, w - 1, h - 1), 10, kPanelDark.lighter(110), kPanelDark, kLine);
        symbol(p, QStringLiteral("computer"), QRectF(70, 45, 150, 150), kIcon);
        symbol(p, QStringLiteral("folder"), QRectF(118, 70, 54, 54), kBlue.lighter(120));
        symbol(p, QStringLiteral("phone"), QRectF(490, 45, 150, 150), kIcon);
        symbol(p, QStringLiteral("folder-publicshare"), QRectF(538, 92, 54, 54), kGreen);
        arrow(p, QPointF(250, 100), QPointF(460, 100), kIcon, 5);
        arrow(p, QPointF(460, 150), QPointF(250, 150), kIcon, 5);
        symbol(p, QStringLiteral("image-x-generic"), QRectF(335, 38, 40, 40), kIconHover);
        symbol(p, QStringLiteral("text-x-generic"), QRectF(335, 170, 40, 40), kIconHover);
        return image;
    }
    if (name == QLatin1String("setting_wechat_public_no"))
        return codeSquare(w, h, name);
    return QImage();
}

QImage draw(const QString &path, int w, int h)
{
    QString name = path.section(QLatin1Char('/'), -1);
    if (name.endsWith(QLatin1String(".png")) || name.endsWith(QLatin1String(".ico")))
        name.chop(4);
    if (path.contains(QLatin1String("KeyBoardCoursebook/")))
        return tutorialPage(name);
    if (path.contains(QLatin1String("multiplayer/"))) {
        QImage image = managerPicture(name, w, h);
        return image;
    }
    if (name.startsWith(QLatin1String("title_")) && name != QLatin1String("title_close") &&
        name != QLatin1String("title_close_hover"))
        return titleIcon(name, w, h);
    if (name.startsWith(QLatin1String("menu_")) && name != QLatin1String("menu_script_stop_tip"))
        return menuIcon(name, w, h);
    if (name.startsWith(QLatin1String("key")) || name.startsWith(QLatin1String("fun_dialog_return")))
        return keymapPicture(name, w, h);
    return otherPicture(name, w, h);
}

} // namespace

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    g_iconDir = qEnvironmentVariable("ORV_ICON_DIR", QStringLiteral("/usr/share/icons/Adwaita/scalable"));
    QTextStream in(stdin);
    int written = 0;
    while (!in.atEnd()) {
        const QStringList fields = in.readLine().split(QLatin1Char('\t'));
        if (fields.size() != 4)
            continue;
        const int w = fields[1].toInt(), h = fields[2].toInt();
        const QString file = fields[3];
        QImage image = draw(file, w, h);
        if (image.isNull() || image.size() != QSize(w, h)) {
            std::fprintf(stderr, "drawpictures: cannot draw %s (%dx%d)\n", qPrintable(file), w, h);
            g_failed = true;
            continue;
        }
        image = image.convertToFormat(QImage::Format_ARGB32);
        QImageWriter writer(file, file.endsWith(QLatin1String(".ico")) ? "ico" : "png");
        if (!writer.write(image)) {
            std::fprintf(stderr, "drawpictures: cannot write %s: %s\n", qPrintable(file),
                         qPrintable(writer.errorString()));
            g_failed = true;
            continue;
        }
        ++written;
    }
    std::fprintf(stderr, "drawpictures: %d pictures\n", written);
    return g_failed ? 1 : 0;
}
