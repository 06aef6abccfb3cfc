// Draws the program's logo (400 x 300) and its icon (256, 128 and 64 pixels
// square) into PNG files; packaging/org.orvix.Orvix.svg is the same icon as
// a drawing. The committed PNGs were made with it:
//   orvix_render_art <output directory>
//
// The logo lies under the video window's status line (white or red text at
// the top left, an info line below it), so its top band stays plain and dark.
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <cstdio>

namespace {

const QColor kDeepBlue(0x0a, 0x0f, 0x1a);
const QColor kNightBlue(0x14, 0x20, 0x33);
const QColor kSteel(0x2f, 0x78, 0x9c);
const QColor kPale(0xd7, 0xe3, 0xee);
const QColor kMuted(0x7f, 0x95, 0xab);
const QColor kRecordRed(0xe0, 0x32, 0x2f);

// A camera lens seen from the front, with a recording dot: the emblem of
// both the logo and the icon. `radius` is the outer ring's radius.
void drawEmblem(QPainter& painter, QPointF centre, qreal radius) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);

    QPen ring(kSteel, radius * 0.10);
    painter.setPen(ring);
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(centre, radius, radius);

    QRadialGradient glass(centre, radius * 0.75, centre - QPointF(radius * 0.2, radius * 0.25));
    glass.setColorAt(0.0, QColor(0x2a, 0x55, 0x78));
    glass.setColorAt(1.0, QColor(0x0b, 0x16, 0x24));
    painter.setPen(QPen(QColor(0x5a, 0x9c, 0xbd), radius * 0.03));
    painter.setBrush(glass);
    painter.drawEllipse(centre, radius * 0.72, radius * 0.72);

    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x05, 0x0a, 0x12));
    painter.drawEllipse(centre, radius * 0.32, radius * 0.32);

    // Reflection on the glass.
    painter.setBrush(QColor(255, 255, 255, 70));
    painter.drawEllipse(centre + QPointF(-radius * 0.30, -radius * 0.30), radius * 0.13, radius * 0.09);

    // Recording dot on the ring, upper right.
    const QPointF dot = centre + QPointF(radius * 0.72, -radius * 0.72);
    painter.setBrush(kDeepBlue);
    painter.drawEllipse(dot, radius * 0.22, radius * 0.22);
    painter.setBrush(kRecordRed);
    painter.drawEllipse(dot, radius * 0.15, radius * 0.15);
    painter.restore();
}

QImage drawLogo() {
    QImage image(400, 300, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient background(0, 0, 0, 300);
    background.setColorAt(0.0, kDeepBlue);
    background.setColorAt(1.0, kNightBlue);
    painter.fillRect(image.rect(), background);

    // A faint monitor grid below the status band.
    painter.setPen(QPen(QColor(120, 160, 200, 16), 1));
    for (int x = 25; x < 400; x += 25) painter.drawLine(x, 56, x, 299);
    for (int y = 75; y < 300; y += 25) painter.drawLine(0, y, 399, y);

    // Viewfinder corners, clear of the status lines at the top left.
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(140, 175, 205, 110), 2));
    const int inset = 14, arm = 22;
    painter.drawPolyline(QPolygon({QPoint(399 - inset - arm, inset), QPoint(399 - inset, inset),
                                   QPoint(399 - inset, inset + arm)}));
    painter.drawPolyline(QPolygon({QPoint(inset, 299 - inset - arm), QPoint(inset, 299 - inset),
                                   QPoint(inset + arm, 299 - inset)}));
    painter.drawPolyline(QPolygon({QPoint(399 - inset - arm, 299 - inset), QPoint(399 - inset, 299 - inset),
                                   QPoint(399 - inset, 299 - inset - arm)}));

    drawEmblem(painter, QPointF(200, 128), 50);

    QFont title(QStringLiteral("DejaVu Sans"));
    title.setPixelSize(44);
    title.setBold(true);
    title.setLetterSpacing(QFont::AbsoluteSpacing, 6);
    painter.setFont(title);
    painter.setPen(kPale);
    painter.drawText(QRect(0, 190, 400, 52), Qt::AlignHCenter | Qt::AlignVCenter, QStringLiteral("ORVIX"));

    QFont tagline(QStringLiteral("DejaVu Sans"));
    tagline.setPixelSize(13);
    tagline.setLetterSpacing(QFont::AbsoluteSpacing, 3);
    painter.setFont(tagline);
    painter.setPen(kMuted);
    painter.drawText(QRect(0, 244, 400, 20), Qt::AlignHCenter | Qt::AlignVCenter,
                     QStringLiteral("REMOTE MONITORING"));
    painter.end();
    return image.convertToFormat(QImage::Format_RGB888);
}

QImage drawIcon(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal margin = size * 0.04;
    QPainterPath tile;
    tile.addRoundedRect(QRectF(margin, margin, size - 2 * margin, size - 2 * margin), size * 0.18, size * 0.18);
    QLinearGradient background(0, 0, 0, size);
    background.setColorAt(0.0, kNightBlue);
    background.setColorAt(1.0, kDeepBlue);
    painter.fillPath(tile, background);
    drawEmblem(painter, QPointF(size * 0.5, size * 0.52), size * 0.30);
    painter.end();
    return image;
}

bool write(const QImage& image, const QString& path) {
    if (image.save(path, "PNG")) return true;
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QString directory = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    const bool ok = write(drawLogo(), directory + QStringLiteral("/logo.png")) &&
                    write(drawIcon(256), directory + QStringLiteral("/icon.png")) &&
                    write(drawIcon(128), directory + QStringLiteral("/icon-128.png")) &&
                    write(drawIcon(64), directory + QStringLiteral("/icon-64.png"));
    return ok ? 0 : 1;
}
