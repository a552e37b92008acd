#include "widgets/RxDice.h"

#include "widgets/ErrorReport.h"

#include <QPainter>
#include <QRandomGenerator>

#include <algorithm>
#include <array>
#include <vector>

namespace vocalyn {

namespace {

int RandomFace() {
    return QRandomGenerator::global()->bounded(1, 7);
}

// Pip centres of each face on a 3 × 3 grid, as column and row from 0 to 2.
struct Pip {
    int column;
    int row;
};
const std::array<std::vector<Pip>, 6> kPips = {{
    {{1, 1}},
    {{0, 0}, {2, 2}},
    {{0, 0}, {1, 1}, {2, 2}},
    {{0, 0}, {2, 0}, {0, 2}, {2, 2}},
    {{0, 0}, {2, 0}, {1, 1}, {0, 2}, {2, 2}},
    {{0, 0}, {2, 0}, {0, 1}, {2, 1}, {0, 2}, {2, 2}},
}};

} // namespace

RxDice::RxDice(QWidget* parent) : QWidget(parent), source_(RandomFace), timer_(this) {
    resize(kSize, kSize);
    timer_.setInterval(kRollInterval_ms);
    connect(&timer_, &QTimer::timeout, this, Guarded([this] { Roll(); }));
}

void RxDice::SetFaceSource(FaceSource source) {
    source_ = source ? std::move(source) : FaceSource(RandomFace);
}

void RxDice::SetValue(int face) {
    face = std::clamp(face, 1, 6);
    if (face == value_)
        return;
    value_ = face;
    update();
}

void RxDice::SetRotate(bool rolling) {
    if (rolling == timer_.isActive())
        return;
    rolling ? timer_.start() : timer_.stop();
}

void RxDice::Roll() {
    SetValue(NextFace(value_, source_()));
}

int RxDice::NextFace(int current, int draw) {
    if (draw != current)
        return draw;
    return current == 1 ? 2 : current - 1;
}

void RxDice::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF body = QRectF(rect()).adjusted(1.5, 1.5, -1.5, -1.5);
    const qreal corner = body.width() / 7;
    painter.setPen(QPen(QColor(96, 96, 96), 2));
    painter.setBrush(Qt::white);
    painter.drawRoundedRect(body, corner, corner);

    const qreal cell = body.width() / 4;
    const qreal radius = body.width() / 11;
    painter.setPen(Qt::NoPen);
    painter.setBrush(value_ == 1 ? QColor(192, 0, 0) : QColor(Qt::black));
    for (const Pip& pip : kPips[static_cast<size_t>(value_ - 1)]) {
        const QPointF centre(body.left() + cell * (pip.column + 1),
                             body.top() + cell * (pip.row + 1));
        painter.drawEllipse(centre, radius, radius);
    }
}

} // namespace vocalyn
