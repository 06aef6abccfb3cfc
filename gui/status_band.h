// The status and info lines as they are drawn over a picture: the texts on
// a translucent dark band that keeps them readable whatever lies beneath,
// laid out into a transparent image only when the texts or the size change.
#pragma once

#include <QFont>
#include <QImage>
#include <QSize>
#include <QString>

namespace orvix {

struct StatusLines {
    int status = 0;
    QString statusText;
    QString infoText;
    bool operator==(const StatusLines&) const = default;
};

class StatusBand {
public:
    // Room for the two lines as the window draws them: status at 1-2, info
    // at 20.
    static constexpr int kHeight = 38;

    StatusBand();
    // The lines laid out in an image of `size` (device pixels `ratio` times
    // that), the one laid out last when nothing changed.
    const QImage& image(const StatusLines& lines, const QSize& size, qreal ratio);
    // The part of the image last laid out that holds anything.
    QRect painted() const { return painted_; }
    // How many times the lines were laid out.
    int layouts() const { return layouts_; }

private:
    QFont font_;
    QImage laidOut_;
    QRect painted_;
    QSize size_;
    StatusLines shown_;
    int layouts_ = 0;
};

}  // namespace orvix
