// A few images taking turns as the buffers of one stream of pictures: one
// that a view still shows, or that a paint or snapshot still holds a copy
// of, is never written into, and one nobody holds is written again instead
// of a new one being made. One thread takes them.
#pragma once

#include <QImage>
#include <QSize>
#include <array>

namespace orvix {

class ImageTurns {
public:
    // Images are made at least `floor` large and then serve any picture
    // that fits in them; without a floor, each serves exactly one size.
    explicit ImageTurns(const QSize& floor = QSize()) : floor_(floor) {}

    // An image for `size`, held by nobody else, for the caller to write into
    // before sharing it. When all are held, a new image takes the place of
    // the next in turn (its holders keep theirs). Null for an empty size or
    // when memory runs out.
    QImage& take(const QSize& size);

private:
    bool fits(const QImage& image, const QSize& size) const;

    static constexpr int kImages = 3;
    std::array<QImage, kImages> images_;
    int next_ = 0;
    QSize floor_;
    QImage none_;
};

}  // namespace orvix
